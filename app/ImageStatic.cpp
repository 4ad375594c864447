#include "ImageStatic.h"

#include "common/common_log.h"

#include <QPainter>

static void RegisterResources() {
    Q_INIT_RESOURCE(scoutcam);
}

void InitAppResources() {
    static bool s_done = false;
    if (!s_done) {
        s_done = true;
        RegisterResources();
    }
}

QImage PremultiplyTruncated(const QImage& image) {
    QImage out = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            QRgb p = line[x];
            int a = qAlpha(p);
            line[x] = qRgba(qRed(p) * a / 255, qGreen(p) * a / 255, qBlue(p) * a / 255, a);
        }
    }
    out.reinterpretAsFormat(QImage::Format_ARGB32_Premultiplied);
    return out;
}

CImageStatic::CImageStatic(QWidget* parent) : QWidget(parent) {
    InitAppResources();
}

bool CImageStatic::LoadPNG(const QString& path) {
    if (m_loaded) {
        m_image = QImage();
        m_loaded = false;
    }
    QImage decoded;
    if (!decoded.load(path, "PNG")) {
        LOG_ERROR("load png(%s) failed", path.toUtf8().constData());
        return false;
    }
    m_image = PremultiplyTruncated(decoded);
    m_loaded = true;
    update();
    return true;
}

void CImageStatic::paintEvent(QPaintEvent*) {
    if (!m_loaded) {
        return;
    }
    int w = qMin(width(), m_image.width());
    int h = qMin(height(), m_image.height());
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.drawImage(QPoint(0, 0), m_image, QRect(0, 0, w, h));
}
