// File names as the kernel gives them: bytes, not necessarily UTF-8. Archives made on
// Japanese Windows unpack with Shift_JIS names, older ones with Latin-1; such a file is
// opened by its bytes and only shown as text.
#pragma once

#include <QByteArray>
#include <QString>

struct FileName {
    QByteArray Bytes; // as the kernel gave it, and as it is opened
    QString Text;     // as it is shown and sorted: DisplayName(Bytes)
};

// Bytes shown as text: UTF-8 as it is; otherwise, when every byte of it is valid
// Shift_JIS (code page 932), that; otherwise the valid UTF-8 runs with each other byte as
// a visible "\xE9", so no byte is dropped and two names never look alike.
QString DisplayName(const QByteArray& bytes);

// text with each control character (C0, DEL, C1) written as "\x0A" and each
// bidirectional control or line separator as "\u202E", for a line on a terminal, a
// tooltip or a label: a newline in a name can't split the line, an escape sequence can't
// reach the terminal, and a right-to-left override can't make "exe.txt" read "txt.exe".
QString WithoutControls(const QString& text);
