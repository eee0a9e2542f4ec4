#include "report/pagefile.h"

#include "platform/atomicfile.h"
#include "report/units.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <cmath>
#include <cstring>

namespace pagefile {
namespace {
constexpr char kMagic[8] = {'V', 'S', 'T', 'R', 'L', 'R', 'P', 'T'};
enum ItemKind : quint8 { kText = 1, kImage = 2, kRect = 3 };
// Nothing on paper is larger than this many tenths, or further off the page.
constexpr double kLimit = 1e6;
constexpr int kMaxImageSide = 8192;
// All pictures of a file together decode to at most this many bytes, so a small file of
// many highly compressed large pictures can't take all memory. The largest real file, the
// icon list of 10 000 icons of 34 x 34 pixels, decodes to 46 MB: over five times that
// leaves room for any page a report makes.
constexpr qint64 kMaxDecodedBytes = qint64(256) << 20;

class Writer {
public:
    void Bytes(const void* data, qsizetype size) { out_.append(static_cast<const char*>(data), size); }
    void U8(quint8 v) { Bytes(&v, 1); }
    void U32(quint32 v)
    {
        const unsigned char b[4] = {quint8(v), quint8(v >> 8), quint8(v >> 16), quint8(v >> 24)};
        Bytes(b, 4);
    }
    void F64(double v)
    {
        quint64 bits;
        std::memcpy(&bits, &v, 8);
        U32(quint32(bits));
        U32(quint32(bits >> 32));
    }
    void Rect(const QRectF& r)
    {
        F64(r.x());
        F64(r.y());
        F64(r.width());
        F64(r.height());
    }
    void Blob(const QByteArray& b)
    {
        U32(quint32(b.size()));
        out_.append(b);
    }
    void Text(const QString& s) { Blob(s.toUtf8()); }
    void Color(const QColor& c) { U32(c.rgba()); }
    QByteArray out_;
};

class Reader {
public:
    explicit Reader(QByteArrayView bytes) : data_(bytes) {}
    bool ok() const { return ok_; }
    qsizetype Left() const { return data_.size() - pos_; }
    bool Need(qsizetype n)
    {
        if (!ok_ || n < 0 || n > Left())
            ok_ = false;
        return ok_;
    }
    const char* Take(qsizetype n)
    {
        if (!Need(n))
            return nullptr;
        const char* p = data_.data() + pos_;
        pos_ += n;
        return p;
    }
    quint8 U8()
    {
        const char* p = Take(1);
        return p ? quint8(*p) : 0;
    }
    quint32 U32()
    {
        const char* p = Take(4);
        if (!p)
            return 0;
        const auto* b = reinterpret_cast<const unsigned char*>(p);
        return quint32(b[0]) | quint32(b[1]) << 8 | quint32(b[2]) << 16 | quint32(b[3]) << 24;
    }
    double F64()
    {
        const quint64 low = U32();
        const quint64 high = U32();
        const quint64 bits = low | high << 32;
        double v;
        std::memcpy(&v, &bits, 8);
        if (!std::isfinite(v) || std::fabs(v) > kLimit)
            ok_ = false;
        return ok_ ? v : 0;
    }
    QRectF Rect()
    {
        const double x = F64(), y = F64(), w = F64(), h = F64();
        if (w < 0 || h < 0)
            ok_ = false;
        return {x, y, w, h};
    }
    QByteArrayView Blob()
    {
        const quint32 size = U32();
        const char* p = Take(qsizetype(size));
        return p ? QByteArrayView(p, qsizetype(size)) : QByteArrayView();
    }
    QString Text() { return QString::fromUtf8(Blob()); }
    QColor Color() { return QColor::fromRgba(U32()); }
    template <typename E>
    E Enum(int last)
    {
        const quint8 v = U8();
        if (v > last)
            ok_ = false;
        return E(ok_ ? v : 0);
    }
    void Fail() { ok_ = false; }

private:
    QByteArrayView data_;
    qsizetype pos_ = 0;
    bool ok_ = true;
};

// The least an item takes in the file, so a claimed count can be checked before
// anything is reserved.
constexpr qsizetype kSmallestItem = 1 + 4 * 8 + 4 + 8 + 1;

void Fail(QString* error, const QString& why)
{
    if (error)
        *error = why;
}

QString Damaged() { return QStringLiteral("レポートファイルが壊れています。"); }

// Reads the picture's PNG header only: -1 when it is not one we take.
qint64 DecodedSize(QByteArrayView png)
{
    QByteArray bytes = QByteArray::fromRawData(png.data(), png.size());
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "PNG");
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty() || size.width() > kMaxImageSide || size.height() > kMaxImageSide)
        return -1;
    const int bits = std::max<int>(QImage::toPixelFormat(reader.imageFormat()).bitsPerPixel(), 32);
    return qint64(size.width()) * size.height() * (bits / 8);
}

QImage Decode(QByteArrayView png)
{
    QByteArray bytes = QByteArray::fromRawData(png.data(), png.size());
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    return QImageReader(&buffer, "PNG").read();
}

// A picture of the file, decoded only once the whole file has been checked.
struct PendingPicture {
    std::size_t page;
    std::size_t item;
    QByteArrayView png;
};
} // namespace

QByteArray Serialize(const ReportPages& pages)
{
    Writer w;
    w.Bytes(kMagic, sizeof kMagic);
    w.U32(kVersion);
    w.F64(pages.paperSize.width());
    w.F64(pages.paperSize.height());
    w.U32(quint32(pages.pages.size()));
    for (const ReportPage& page : pages.pages) {
        w.U32(quint32(page.items.size()));
        for (const PageItem& item : page.items) {
            if (const auto* text = std::get_if<TextItem>(&item)) {
                w.U8(kText);
                w.Rect(text->rect);
                w.Text(text->text);
                w.F64(text->pointSize);
                w.Text(text->fontFamily);
                w.U32(quint32(text->weight));
                w.U8(text->italic);
                w.U32(quint32(text->flags));
                w.Color(text->color);
                w.Color(text->background);
                w.U8(text->transparent);
            } else if (const auto* image = std::get_if<ImageItem>(&item)) {
                w.U8(kImage);
                w.Rect(image->clip);
                w.Rect(image->target);
                QByteArray png;
                QBuffer buffer(&png);
                buffer.open(QIODevice::WriteOnly);
                image->image.save(&buffer, "PNG");
                w.Blob(png);
            } else if (const auto* rect = std::get_if<RectItem>(&item)) {
                w.U8(kRect);
                w.Rect(rect->rect);
                w.Color(rect->penColor);
                w.F64(rect->penWidth);
                w.U8(quint8(rect->penStyle));
                w.Color(rect->brushColor);
                w.U8(quint8(rect->brushStyle));
            }
        }
    }
    return w.out_;
}

std::optional<ReportPages> Parse(QByteArrayView bytes, QString* error)
{
    if (bytes.size() < qsizetype(sizeof kMagic) + 4 || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0) {
        Fail(error, QStringLiteral("Vistrel のレポートファイルではありません。"));
        return std::nullopt;
    }
    Reader r(bytes);
    r.Take(sizeof kMagic);
    const quint32 version = r.U32();
    if (version != kVersion) {
        Fail(error, QStringLiteral("このレポートファイルの版 (%1) には対応していません。").arg(version));
        return std::nullopt;
    }
    ReportPages result;
    const double width = r.F64();
    const double length = r.F64();
    if (!(width > 0 && length > 0))
        r.Fail();
    result.paperSize = QSizeF(width, length);
    const quint32 pageCount = r.U32();
    if (!r.Need(qsizetype(pageCount) * 4)) {
        Fail(error, Damaged());
        return std::nullopt;
    }
    result.pages.reserve(pageCount);
    std::vector<PendingPicture> pictures;
    qint64 decodedBytes = 0;
    for (quint32 p = 0; p < pageCount && r.ok(); ++p) {
        ReportPage page;
        const quint32 itemCount = r.U32();
        if (!r.Need(qsizetype(itemCount) * kSmallestItem))
            break;
        page.items.reserve(itemCount);
        for (quint32 i = 0; i < itemCount && r.ok(); ++i) {
            switch (r.U8()) {
            case kText: {
                TextItem text;
                text.rect = r.Rect();
                text.text = r.Text();
                text.pointSize = r.F64();
                text.fontFamily = r.Text();
                text.weight = int(r.U32() % 1001);
                text.italic = r.U8() != 0;
                text.flags = int(r.U32() & 0xFFFF);
                text.color = r.Color();
                text.background = r.Color();
                text.transparent = r.U8() != 0;
                if (text.pointSize <= 0 || text.pointSize > 1000)
                    r.Fail();
                page.items.emplace_back(std::move(text));
                break;
            }
            case kImage: {
                ImageItem image;
                image.clip = r.Rect();
                image.target = r.Rect();
                const QByteArrayView png = r.Blob();
                if (!r.ok())
                    break;
                // Sizes come from the headers, so forged ones are refused before any
                // pixel is decoded.
                const qint64 size = DecodedSize(png);
                if (size < 0 || size > kMaxDecodedBytes - decodedBytes) {
                    r.Fail();
                    break;
                }
                decodedBytes += size;
                pictures.push_back({result.pages.size(), page.items.size(), png});
                page.items.emplace_back(std::move(image));
                break;
            }
            case kRect: {
                RectItem rect;
                rect.rect = r.Rect();
                rect.penColor = r.Color();
                rect.penWidth = r.F64();
                rect.penStyle = r.Enum<Qt::PenStyle>(Qt::DashDotDotLine);
                rect.brushColor = r.Color();
                rect.brushStyle = r.Enum<Qt::BrushStyle>(Qt::DiagCrossPattern);
                if (rect.penWidth < 0)
                    r.Fail();
                page.items.emplace_back(std::move(rect));
                break;
            }
            default:
                r.Fail();
            }
        }
        result.pages.push_back(std::move(page));
    }
    if (r.ok() && r.Left() == 0) {
        for (const PendingPicture& picture : pictures) {
            QImage& image = std::get<ImageItem>(result.pages[picture.page].items[picture.item]).image;
            image = Decode(picture.png);
            if (image.isNull()) {
                r.Fail();
                break;
            }
        }
    }
    if (!r.ok() || r.Left() != 0) {
        Fail(error, Damaged());
        return std::nullopt;
    }
    return result;
}

bool Save(const ReportPages& pages, const QString& path, QString* error)
{
    if (!ReplaceFileWith(path, Serialize(pages))) {
        Fail(error, QStringLiteral("%1 に保存できませんでした。").arg(path));
        return false;
    }
    return true;
}

std::optional<ReportPages> Load(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        Fail(error, QStringLiteral("%1 を開けませんでした。").arg(path));
        return std::nullopt;
    }
    return Parse(file.readAll(), error);
}

bool SaveAsPdf(const ReportPages& pages, const QString& path, const QString& title, QString* error)
{
    if (pages.pages.empty()) {
        Fail(error, QStringLiteral("保存するページがありません。"));
        return false;
    }
    // Made in memory and written whole as the page file is, so a failure leaves what was there.
    QByteArray pdf;
    QBuffer buffer(&pdf);
    buffer.open(QIODevice::WriteOnly);
    bool drawn = false;
    {
        QPdfWriter writer(&buffer);
        if (!title.isEmpty())
            writer.setTitle(title);
        writer.setCreator(QStringLiteral("Vistrel"));
        writer.setResolution(600);
        // Paper sizes are named upright; a wide page is that paper turned.
        const QSizeF millimetres = pages.paperSize / 10.0;
        const bool landscape = millimetres.width() > millimetres.height();
        const QPageSize paper(landscape ? millimetres.transposed() : millimetres, QPageSize::Millimeter, QString(),
                              QPageSize::FuzzyMatch);
        writer.setPageLayout(QPageLayout(paper, landscape ? QPageLayout::Landscape : QPageLayout::Portrait, QMarginsF()));
        QPainter painter;
        if (painter.begin(&writer)) {
            const QRectF target(0, 0, units::TenthsToPixels(pages.paperSize.width(), writer.resolution()),
                                units::TenthsToPixels(pages.paperSize.height(), writer.resolution()));
            for (std::size_t i = 0; i < pages.pages.size(); ++i) {
                if (i > 0)
                    writer.newPage();
                DrawPage(painter, pages.pages[i], pages.paperSize, target);
            }
            drawn = painter.end();
        }
    }
    if (!drawn || !ReplaceFileWith(path, pdf)) {
        Fail(error, QStringLiteral("%1 に保存できませんでした。").arg(path));
        return false;
    }
    return true;
}
} // namespace pagefile
