#include "DlgUnits.h"

#include <QApplication>
#include <QFontMetricsF>
#include <cmath>

namespace {
const double kRefBaseX = 7.0;
const double kRefBaseY = 15.0;
}  // namespace

CDlgUnits::CDlgUnits(const QFont& font) {
    QFontMetricsF fm(font);
    m_baseX = fm.horizontalAdvance(
                  QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) /
              52.0;
    m_baseY = std::ceil(fm.height());
}

int CDlgUnits::X(int dlu) const {
    return static_cast<int>(std::lround(dlu * m_baseX / 4.0));
}

int CDlgUnits::Y(int dlu) const {
    return static_cast<int>(std::lround(dlu * m_baseY / 8.0));
}

QRect CDlgUnits::Rect(int x, int y, int w, int h) const {
    return QRect(X(x), Y(y), X(w), Y(h));
}

int CDlgUnits::PixelsX(int px) const {
    return static_cast<int>(std::lround(px * m_baseX / kRefBaseX));
}

int CDlgUnits::PixelsY(int px) const {
    return static_cast<int>(std::lround(px * m_baseY / kRefBaseY));
}

QFont DialogFont(int pointSize) {
    QFont font = QApplication::font();
    font.setPointSize(pointSize);
    return font;
}

QString LabelWords(const QString& labelText) {
    QString words = labelText;
    words.remove(QLatin1Char('&'));
    if (words.endsWith(QLatin1Char(':'))) {
        words.chop(1);
    }
    return words.trimmed();
}
