// Report pages kept in a file of our own, and pages written out as PDF.
//
// The file: the 8 bytes "VSTRLRPT", a version (uint32), then little-endian fields:
// paper width and length (double), the page count, and per page its item count and
// items. Every count and length is checked against what is left of the file before
// anything is read or allocated, and the pictures' sizes in all before any is decoded,
// so a damaged or foreign file is refused, never half-read.
#pragma once

#include "report/pages.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

namespace pagefile {
inline constexpr quint32 kVersion = 1;
inline constexpr char kFilter[] = "Vistrel レポート (*.vrp)";
inline constexpr char kPdfFilter[] = "PDF ファイル (*.pdf)";

QByteArray Serialize(const ReportPages& pages);
// Empty when the bytes are not pages of ours; error then says why, in the user's words.
std::optional<ReportPages> Parse(QByteArrayView bytes, QString* error = nullptr);

// False with error set when the file can't be written or read.
bool Save(const ReportPages& pages, const QString& path, QString* error = nullptr);
std::optional<ReportPages> Load(const QString& path, QString* error = nullptr);
bool SaveAsPdf(const ReportPages& pages, const QString& path, const QString& title, QString* error = nullptr);
} // namespace pagefile
