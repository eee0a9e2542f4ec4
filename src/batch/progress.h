// What a batch command tells as it goes: its lines on stdout and stderr, and, when stderr
// is a terminal, one line there that keeps being redrawn below them with the files read,
// the icons written, the rate and the file being read.
#pragma once

#include <QList>
#include <QString>

#include <chrono>
#include <cstdio>

class BatchOutput {
public:
    // live: keep the progress line (stderr is a terminal); else print the lines alone.
    explicit BatchOutput(bool live);
    ~BatchOutput();
    BatchOutput(const BatchOutput&) = delete;
    BatchOutput& operator=(const BatchOutput&) = delete;

    // A line of the command's own, printed above the progress line.
    void Line(std::FILE* stream, const QString& text);
    // File number file of files is about to be read; icons have been written so far.
    void Reading(int file, int files, long long icons, const QString& name);
    // The progress line goes for good.
    void Finish();

private:
    void Clear();
    void Draw();

    bool live_;
    bool drawn_ = false;
    QString line_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point lastDrawn_{};
};

// As much of text from its start as a terminal shows in columns, by each character's
// width there; a character is never cut in two.
QString FitColumns(const QString& text, int columns);

// Escapes a name's control characters for a line: a newline can't split it nor an
// escape sequence reach the terminal.
QString Shown(const QString& name);
