#include "ImageStatic.h"

#include "common/common_log.h"

#include <objidl.h>
// GDI+ after the COM headers it needs.
#include <gdiplus.h>

#include <algorithm>
#include <cstring>

namespace {

// The GDI+ runtime, for the time of one decoding.
class CGdiplusSession {
public:
    CGdiplusSession() {
        Gdiplus::GdiplusStartupInput input;
        m_ok = Gdiplus::GdiplusStartup(&m_token, &input, nullptr) == Gdiplus::Ok;
    }
    ~CGdiplusSession() {
        if (m_ok) {
            Gdiplus::GdiplusShutdown(m_token);
        }
    }
    bool Ok() const { return m_ok; }

private:
    ULONG_PTR m_token = 0;
    bool m_ok = false;
};

// A stream over a copy of the resource's bytes; null when it is missing.
IStream* OpenResourceStream(int id) {
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), L"PNG");
    HGLOBAL loaded = found != nullptr ? LoadResource(module, found) : nullptr;
    const void* pBytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    const DWORD size = found != nullptr ? SizeofResource(module, found) : 0;
    if (pBytes == nullptr || size == 0) {
        LOG_ERROR("png resource(%d) not found", id);
        return nullptr;
    }
    HGLOBAL copy = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    void* pCopy = copy != nullptr ? GlobalLock(copy) : nullptr;
    if (pCopy == nullptr) {
        LOG_ERROR("GlobalAlloc(%lu) failed", size);
        if (copy != nullptr) {
            GlobalFree(copy);
        }
        return nullptr;
    }
    std::memcpy(pCopy, pBytes, size);
    GlobalUnlock(copy);
    IStream* pStream = nullptr;
    // The stream frees the block when it is released.
    if (CreateStreamOnHGlobal(copy, TRUE, &pStream) != S_OK) {
        LOG_ERROR("CreateStreamOnHGlobal failed");
        GlobalFree(copy);
        return nullptr;
    }
    return pStream;
}

}  // namespace

CImageStatic::~CImageStatic() {
    Reset();
}

void CImageStatic::Reset() {
    if (m_bitmap != nullptr) {
        DeleteObject(m_bitmap);
    }
    m_bitmap = nullptr;
    m_width = 0;
    m_height = 0;
}

bool CImageStatic::LoadPNG(int id) {
    Reset();
    CGdiplusSession session;
    IStream* pStream = session.Ok() ? OpenResourceStream(id) : nullptr;
    if (pStream == nullptr) {
        return false;
    }
    Gdiplus::GpBitmap* pImage = nullptr;
    const bool decoded =
        Gdiplus::DllExports::GdipCreateBitmapFromStream(pStream, &pImage) == Gdiplus::Ok;
    UINT width = 0;
    UINT height = 0;
    if (decoded) {
        Gdiplus::DllExports::GdipGetImageWidth(pImage, &width);
        Gdiplus::DllExports::GdipGetImageHeight(pImage, &height);
    }
    Gdiplus::BitmapData data = {};
    Gdiplus::GpRect all(0, 0, static_cast<INT>(width), static_cast<INT>(height));
    const bool locked =
        decoded && width > 0 && height > 0 &&
        Gdiplus::DllExports::GdipBitmapLockBits(pImage, &all, Gdiplus::ImageLockModeRead,
                                                PixelFormat32bppARGB, &data) == Gdiplus::Ok;
    if (locked) {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = static_cast<LONG>(width);
        info.bmiHeader.biHeight = -static_cast<LONG>(height);  // top-down
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* pBits = nullptr;
        m_bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pBits, nullptr, 0);
        if (m_bitmap != nullptr) {
            for (UINT y = 0; y < height; ++y) {
                std::memcpy(static_cast<uint8_t*>(pBits) + y * width * 4,
                            static_cast<const uint8_t*>(data.Scan0) + y * data.Stride, width * 4);
            }
            PremultiplyAlpha(static_cast<uint8_t*>(pBits), static_cast<size_t>(width) * height);
            m_width = static_cast<int>(width);
            m_height = static_cast<int>(height);
        }
        Gdiplus::DllExports::GdipBitmapUnlockBits(pImage, &data);
    }
    if (pImage != nullptr) {
        Gdiplus::DllExports::GdipDisposeImage(pImage);
    }
    pStream->Release();
    if (!Loaded()) {
        LOG_ERROR("decode png resource(%d) failed", id);
    }
    return Loaded();
}

void CImageStatic::Draw(HDC dc, const RECT& rect) const {
    if (!Loaded()) {
        return;
    }
    const int w = std::min<int>(rect.right - rect.left, m_width);
    const int h = std::min<int>(rect.bottom - rect.top, m_height);
    if (w <= 0 || h <= 0) {
        return;
    }
    HDC source = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(source, m_bitmap);
    BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    AlphaBlend(dc, rect.left, rect.top, w, h, source, 0, 0, w, h, blend);
    SelectObject(source, old);
    DeleteDC(source);
}

void PremultiplyAlpha(uint8_t* pBgra, size_t pixels) {
    for (size_t i = 0; i < pixels; ++i) {
        uint8_t* p = pBgra + i * 4;
        const unsigned alpha = p[3];
        for (int c = 0; c < 3; ++c) {
            p[c] = static_cast<uint8_t>(p[c] * alpha / 255);
        }
    }
}
