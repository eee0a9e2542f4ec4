// One icon of the opened folder taken whole from the file it came from: what its context
// menu saves and shows. The file is read again through the icon core, the same way the
// scan and --extract read it.
#pragma once

#include "browse/browsestate.h"
#include "scan/iconextraction.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <vector>

// One image of an icon, as its directory lists it.
struct IconImageDetails {
    int Width = 0;
    int Height = 0;
    int BitCount = 0; // bits per pixel as stored; 32 for a PNG image with alpha
    bool Png = false;
    QImage Picture;   // at its own size with its alpha (ARGB32); null when it can't be decoded
};

// The icon's file as --extract writes it: Ico, every image of the icon in its order; Png,
// its largest image. Empty when the file no longer gives it.
QByteArray IconFileFor(const IconOrigin& origin, IconFormat format);

// Every image of the icon, in its directory's order; empty when the file no longer has it.
std::vector<IconImageDetails> IconImagesOf(const IconOrigin& origin);

// Image number image of the icon alone as a PNG file: a PNG image as it is stored, any
// other encoded. Empty when it can't be read.
QByteArray IconImagePng(const IconOrigin& origin, int image);

// "16 色", "256 色", "24 ビット", "32 ビット (アルファ付き)" ...: an image's colours as the
// information dialog names them.
QString ColoursText(const IconImageDetails& image);

// The name the save dialog suggests: the source file's name without its extension, "_",
// the icon's index in that file, "." extension: "notepad_0.ico".
QString SuggestedIconName(const IconOrigin& origin, const QString& extension);
