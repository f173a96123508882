// Pictures through the Windows Imaging Component, which every Windows since Vista ships:
// the saver is textured, and its stills written, even where the image library is not installed.
#include "assets/canvas.h"

#include <windows.h>

#include <objbase.h>
#include <wincodec.h>

#include <cstdio>
#include <vector>

#include "base/trace.h"

namespace {

template <class T> struct localCom {
    T* p = nullptr;
    ~localCom() {
        if (p) p->Release();
    }
};

// COM for the calling thread, given back on the way out when this call took it.
struct localComInit {
    bool owned;
    localComInit() {
        HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        owned = SUCCEEDED(hr);
    }
    ~localComInit() {
        if (owned) CoUninitialize();
    }
};

bool localReadFile(const char* path, std::vector<unsigned char>* out) {
    FILE* f = fopen(path, "rb");
    if (!f) return false;
    unsigned char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        out->insert(out->end(), buf, buf + n);
    fclose(f);
    return true;
}

} // namespace

bool fxSystemImageCodec() {
    return true;
}

bool fxSystemDecodeImage(const void* bytes, int size, const char* path, int* w, int* h,
                         std::vector<unsigned char>* rgba) {
    std::vector<unsigned char> file;
    if (path) {
        if (!localReadFile(path, &file)) return false;
        bytes = file.data();
        size = static_cast<int>(file.size());
    }
    if (!bytes || size <= 0) return false;
    localComInit com;
    localCom<IWICImagingFactory> factory;
    localCom<IWICStream> stream;
    localCom<IWICBitmapDecoder> decoder;
    localCom<IWICBitmapFrameDecode> frame;
    localCom<IWICFormatConverter> converter;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                reinterpret_cast<void**>(&factory.p)))) {
        err("FXCanvas: the Windows Imaging Component is not available\n");
        return false;
    }
    UINT fw = 0, fh = 0;
    if (FAILED(factory.p->CreateStream(&stream.p)) ||
        FAILED(stream.p->InitializeFromMemory(static_cast<BYTE*>(const_cast<void*>(bytes)), static_cast<DWORD>(size))))
        return false;
    if (FAILED(factory.p->CreateDecoderFromStream(stream.p, nullptr, WICDecodeMetadataCacheOnDemand, &decoder.p))) {
        err("FXCanvas: no Windows decoder for the picture %s\n", path ? path : "(package item)");
        return false;
    }
    if (FAILED(decoder.p->GetFrame(0, &frame.p)) || FAILED(factory.p->CreateFormatConverter(&converter.p)) ||
        FAILED(converter.p->Initialize(frame.p, GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone, nullptr, 0.0,
                                       WICBitmapPaletteTypeCustom)) ||
        FAILED(converter.p->GetSize(&fw, &fh)))
        return false;
    // The limits of the pixel block the picture goes into.
    if (fw == 0 || fh == 0 || fw > 32768 || fh > 32768 || static_cast<unsigned long long>(fw) * fh > (1ull << 28)) {
        err("FXCanvas: picture size %u x %u refused\n", fw, fh);
        return false;
    }
    rgba->assign(static_cast<size_t>(fw) * fh * 4, 0);
    if (FAILED(converter.p->CopyPixels(nullptr, fw * 4, static_cast<UINT>(rgba->size()), rgba->data()))) return false;
    for (size_t i = 0; i < rgba->size(); i += 4) {
        unsigned char b = (*rgba)[i];
        (*rgba)[i] = (*rgba)[i + 2];
        (*rgba)[i + 2] = b;
    }
    *w = static_cast<int>(fw);
    *h = static_cast<int>(fh);
    return true;
}

bool fxSystemEncodePng(const char* path, int w, int h, int channels, const unsigned char* pixels) {
    if (!path || !pixels || w <= 0 || h <= 0 || (channels != 1 && channels != 3 && channels != 4)) return false;
    // The codec takes blue first; grey goes as it is.
    size_t rowBytes = static_cast<size_t>(w) * channels;
    std::vector<unsigned char> bgr(pixels, pixels + rowBytes * h);
    if (channels > 1)
        for (size_t i = 0; i < bgr.size(); i += channels) {
            unsigned char r = bgr[i];
            bgr[i] = bgr[i + 2];
            bgr[i + 2] = r;
        }
    WICPixelFormatGUID format = channels == 1   ? GUID_WICPixelFormat8bppGray
                                : channels == 3 ? GUID_WICPixelFormat24bppBGR
                                                : GUID_WICPixelFormat32bppBGRA;
    localComInit com;
    localCom<IWICImagingFactory> factory;
    localCom<IStream> stream;
    localCom<IWICBitmapEncoder> encoder;
    localCom<IWICBitmapFrameEncode> frame;
    localCom<IPropertyBag2> options;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                reinterpret_cast<void**>(&factory.p)))) {
        err("FXCanvas: the Windows Imaging Component is not available\n");
        return false;
    }
    // Encoded in memory first, so that a failure leaves no half-written file.
    WICPixelFormatGUID granted = format;
    if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &stream.p)) ||
        FAILED(factory.p->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder.p)) ||
        FAILED(encoder.p->Initialize(stream.p, WICBitmapEncoderNoCache)) ||
        FAILED(encoder.p->CreateNewFrame(&frame.p, &options.p)) || FAILED(frame.p->Initialize(options.p)) ||
        FAILED(frame.p->SetSize(static_cast<UINT>(w), static_cast<UINT>(h))) ||
        FAILED(frame.p->SetPixelFormat(&granted)) || !IsEqualGUID(granted, format) ||
        FAILED(frame.p->WritePixels(static_cast<UINT>(h), static_cast<UINT>(rowBytes), static_cast<UINT>(bgr.size()),
                                    bgr.data())) ||
        FAILED(frame.p->Commit()) || FAILED(encoder.p->Commit())) {
        err("FXCanvas: the Windows PNG encoder failed for %s\n", path);
        return false;
    }
    HGLOBAL memory = nullptr;
    if (FAILED(GetHGlobalFromStream(stream.p, &memory))) return false;
    STATSTG stat = {};
    if (FAILED(stream.p->Stat(&stat, STATFLAG_NONAME))) return false;
    size_t size = static_cast<size_t>(stat.cbSize.QuadPart);
    const void* bytes = GlobalLock(memory);
    if (!bytes) return false;
    FILE* f = fopen(path, "wb");
    bool ok = f && fwrite(bytes, 1, size, f) == size;
    GlobalUnlock(memory);
    if (f && fclose(f) != 0) ok = false;
    if (!ok) {
        err("FXCanvas: cannot write %s\n", path);
        if (f) remove(path);
    }
    return ok;
}
