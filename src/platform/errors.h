// The one exception type our handlers raise; its text is what the error box shows.
#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

class AppError : public std::exception {
public:
    explicit AppError(QString message) : message_(std::move(message)), utf8_(message_.toUtf8()) {}
    const QString& message() const noexcept { return message_; }
    const char* what() const noexcept override { return utf8_.constData(); }

private:
    QString message_;
    QByteArray utf8_;
};

// A file of ours or the user's that could not be written: the window shows the message,
// the command line names the path in its own words.
class WriteError : public AppError {
public:
    explicit WriteError(const QString& path)
        : AppError(QStringLiteral("ファイル %1 を作成できません").arg(path)), path_(path)
    {
    }
    const QString& path() const noexcept { return path_; }

private:
    QString path_;
};
