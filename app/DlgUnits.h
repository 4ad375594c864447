#pragma once

#include <QFont>
#include <QRect>
#include <QString>

// Dialog units to pixels for a dialog drawn in a given font: a horizontal unit is a quarter of
// the font's average character width, a vertical unit an eighth of its height.
class CDlgUnits {
public:
    explicit CDlgUnits(const QFont& font);

    int X(int dlu) const;
    int Y(int dlu) const;
    QRect Rect(int x, int y, int w, int h) const;

    // Scale of this font against the 7 x 15 pixel base units of a 9 pt dialog font, for
    // layouts given in pixels of such a dialog.
    int PixelsX(int px) const;
    int PixelsY(int px) const;

private:
    double m_baseX;
    double m_baseY;
};

// The application font at the point size of a dialog template.
QFont DialogFont(int pointSize);

// The words of a control's label as they name the control for assistive technology: without
// the '&' that marks its mnemonic and without a closing colon ("&IP Address:" gives
// "IP Address").
QString LabelWords(const QString& labelText);
