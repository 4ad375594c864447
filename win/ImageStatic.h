#pragma once

// A PNG image with per-pixel transparency for an owner-drawn static control (the logo):
// decoded once from the program's resources, drawn at the control's top-left corner and
// clipped to it.

#include <windows.h>

#include <cstddef>
#include <cstdint>

class CImageStatic {
public:
    CImageStatic() = default;
    ~CImageStatic();
    CImageStatic(const CImageStatic&) = delete;
    CImageStatic& operator=(const CImageStatic&) = delete;

    // Decodes the resource of type "PNG" under that id; false (and nothing to draw) when it is
    // missing or no PNG.
    bool LoadPNG(int id);
    bool Loaded() const { return m_bitmap != nullptr; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    // Blends the image over what the control shows, within the control's rectangle.
    void Draw(HDC dc, const RECT& rect) const;

private:
    void Reset();

    HBITMAP m_bitmap = nullptr;  // 32 bits per pixel, premultiplied, top-down
    int m_width = 0;
    int m_height = 0;
};

// Blue, green and red of each BGRA pixel times its alpha / 255, truncated, as AlphaBlend
// wants them.
void PremultiplyAlpha(uint8_t* pBgra, size_t pixels);
