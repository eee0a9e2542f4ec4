// A stand-in program for the tests: an executable script in a folder whose name has a
// blank ("My Paint/paint"), which writes the arguments it gets, one a line, to a file.
#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

class ArgumentRecorder {
public:
    ArgumentRecorder()
    {
        QDir().mkdir(dir_.filePath("My Paint"));
        QFile script(Program());
        if (script.open(QIODevice::WriteOnly)) {
            script.write(QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$@\" > '%1'\n").arg(ReceivedFile()).toUtf8());
            script.close();
            script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
        }
    }

    QString Program() const { return dir_.filePath("My Paint/paint"); }
    QString ReceivedFile() const { return dir_.filePath("received.txt"); }

    // What the program got, once it has run (waits for it a while).
    QByteArray Received() const
    {
        if (!QTest::qWaitFor([this] { return QFileInfo(ReceivedFile()).size() > 0; }, 10000))
            return QByteArray("<never ran>");
        QFile file(ReceivedFile());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private:
    QTemporaryDir dir_;
};
