// What an export writes for each icon: plain data, without a toolkit, so that the
// command line's parser and the scan name the formats alike.
#pragma once

enum class IconFormat {
    Bmp, // the 34x34 bitmap, as Open draws it
    Png, // the icon's largest image (deepest on equal sizes) at its own size, with its alpha
    Ico, // an icon file with every image of the icon, in the order of its group
    Cur, // no icons: each cursor group as a cursor file, each animated cursor as its .ani
};
