#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

// Static control that draws a PNG image with per-pixel transparency at its top-left corner,
// clipped to the control.
class CImageStatic : public QWidget {
    Q_OBJECT
public:
    explicit CImageStatic(QWidget* parent = nullptr);

    // Decodes the PNG at path (a resource path such as ":/res/logo.png" or a file) and keeps it
    // with premultiplied colours. Returns whether an image is loaded.
    bool LoadPNG(const QString& path);

    bool IsLoaded() const { return m_loaded; }
    const QImage& Image() const { return m_image; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_image;
    bool m_loaded = false;
};

// Registers the program's images (":/res/..."); the first call does it, later ones nothing.
void InitAppResources();

// Colours times alpha / 255, truncated; alpha stays. Takes a 32-bit ARGB image and returns it
// marked as premultiplied.
QImage PremultiplyTruncated(const QImage& image);
