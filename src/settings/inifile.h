// The settings file "Vistrel.ini" in SettingsFolder(). Nothing is cached: every key
// is read or written by opening the file, doing that one key, and closing it again.
#pragma once

#include "platform/winexec.h"

#include <QSize>
#include <QString>

class QWidget;

namespace IniFile {

// A window whose outer edges the settings apply and store.
class FormBounds {
public:
    virtual ~FormBounds() = default;
    virtual int Top() const = 0;
    virtual int Left() const = 0;
    virtual int Height() const = 0;
    virtual int Width() const = 0;
    virtual void SetTop(int top) = 0;
    virtual void SetLeft(int left) = 0;
    virtual void SetHeight(int height) = 0;
    virtual void SetWidth(int width) = 0;
    // The primary display's size at the time of the call.
    virtual QSize ScreenSize() const = 0;
    // Whether the window system tells where the window is: a Wayland compositor places
    // windows itself and keeps their position from the program.
    virtual bool PositionKnown() const { return true; }
};

// A top-level widget's outer frame.
class WidgetBounds : public FormBounds {
public:
    explicit WidgetBounds(QWidget& widget) : widget_(widget) {}
    int Top() const override;
    int Left() const override;
    int Height() const override;
    int Width() const override;
    void SetTop(int top) override;
    void SetLeft(int left) override;
    void SetHeight(int height) override;
    void SetWidth(int width) override;
    QSize ScreenSize() const override;
    bool PositionKnown() const override;

private:
    QWidget& widget_;
};

inline const QString kDefaultPaintPath = kWindowsPaintProgram;

// SettingsFolder() plus "Vistrel.ini".
QString SettingsPath();

// Sets Top, Left, Height and Width in that order; a value that is not an integer raises
// AppError "'%s' は整数ではありません" and the keys before it stay applied.
void LoadFormGeometry(const QString& section, FormBounds& form);

// Writes Top, Left, Height and Width in that order; a refused write raises AppError
// "%s に書き込めません" and the keys before it stay written. Where the position is not
// known, Top and Left keep what they held, so a later X11 session finds it.
void SaveFormGeometry(const QString& section, const FormBounds& form);

QString ReadPaintPath(const QString& section);

// The default printer's name, or empty text. Slow when the print server is: call it
// only when the user asks for the printer.
QString ReadDefaultPrinterName();

// Text to integer as the settings read it: optional blanks and sign, decimal digits or
// "$"/"0x" hexadecimal, within 32 bits. Anything else raises "'%s' は整数ではありません".
int StrToInt(const QString& text);

} // namespace IniFile
