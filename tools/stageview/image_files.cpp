// Writing stageview's images (image_files.h), each by way of a temporary
// file.
#include "image_files.h"

#include <ctype.h>
#include <stdio.h>
#include <string.h>
#include <wincodec.h>
#include <windows.h>

#include <functional>
#include <vector>

namespace {

// Releases a COM interface at the end of its scope.
template <typename T>
struct Held {
  T *p = nullptr;
  ~Held() {
    if (p) p->Release();
  }
  T **out() { return &p; }
};

bool Failed(HRESULT result, const char *step, std::string &why) {
  if (SUCCEEDED(result)) return false;
  char text[96];
  snprintf(text, sizeof text, "%s failed (0x%08lX)", step,
           static_cast<unsigned long>(result));
  why = text;
  return true;
}

bool Encode(const wchar_t *path, const uint32_t *pixels, int width, int height,
            std::string &why) {
  Held<IWICImagingFactory> factory;
  Held<IWICStream> stream;
  Held<IWICBitmapEncoder> encoder;
  Held<IWICBitmapFrameEncode> frame;
  Held<IPropertyBag2> options;
  if (Failed(CoCreateInstance(CLSID_WICImagingFactory, nullptr,
                              CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                              reinterpret_cast<void **>(factory.out())),
             "creating the imaging factory", why) ||
      Failed(factory.p->CreateStream(stream.out()), "CreateStream", why) ||
      Failed(stream.p->InitializeFromFilename(path, GENERIC_WRITE),
             "opening the file", why) ||
      Failed(factory.p->CreateEncoder(GUID_ContainerFormatPng, nullptr,
                                      encoder.out()),
             "creating the PNG encoder", why) ||
      Failed(encoder.p->Initialize(stream.p, WICBitmapEncoderNoCache),
             "Initialize", why) ||
      Failed(encoder.p->CreateNewFrame(frame.out(), options.out()),
             "CreateNewFrame", why) ||
      Failed(frame.p->Initialize(options.p), "frame Initialize", why) ||
      Failed(frame.p->SetSize(UINT(width), UINT(height)), "SetSize", why))
    return false;
  WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
  if (Failed(frame.p->SetPixelFormat(&format), "SetPixelFormat", why))
    return false;
  if (!IsEqualGUID(format, GUID_WICPixelFormat24bppBGR)) {
    why = "the PNG encoder does not take 24-bit pixels";
    return false;
  }
  UINT stride = UINT(width) * 3;
  std::vector<BYTE> rows(size_t(stride) * height);
  for (size_t i = 0; i < size_t(width) * height; ++i) {
    rows[i * 3] = BYTE(pixels[i]);
    rows[i * 3 + 1] = BYTE(pixels[i] >> 8);
    rows[i * 3 + 2] = BYTE(pixels[i] >> 16);
  }
  return !Failed(frame.p->WritePixels(UINT(height), stride, UINT(rows.size()),
                                      rows.data()),
                 "WritePixels", why) &&
         !Failed(frame.p->Commit(), "frame Commit", why) &&
         !Failed(encoder.p->Commit(), "Commit", why);
}

// Writes `path` by way of the temporary name PATH.part: `write` fills the
// temporary file, which is renamed only when complete, so a failed write
// (a full disk) leaves no partial image behind.
bool WriteThroughPartFile(
    const char *path,
    const std::function<bool(const char *partial, std::string &why)> &write,
    std::string &why) {
  std::string partial = std::string(path) + ".part";
  bool written = write(partial.c_str(), why);
  if (written && MoveFileExA(partial.c_str(), path, MOVEFILE_REPLACE_EXISTING))
    return true;
  if (written) why = "cannot rename the finished file";
  DeleteFileA(partial.c_str());
  return false;
}

bool WritePngFile(const char *path, const uint32_t *pixels, int width,
                  int height, std::string &why) {
  wchar_t widePath[MAX_PATH];
  if (!MultiByteToWideChar(CP_ACP, 0, path, -1, widePath, MAX_PATH)) {
    why = "the file name is too long";
    return false;
  }
  HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  bool written = Encode(widePath, pixels, width, height, why);
  if (SUCCEEDED(com)) CoUninitialize();
  return written;
}

bool WriteBmpFile(const char *path, const std::vector<Frame *> &frames,
                  std::string &why) {
  int width = kFrameWidth * int(frames.size()), height = kFrameHeight;
  int stride = (width * 3 + 3) & ~3;
  BITMAPFILEHEADER file = {};
  BITMAPINFOHEADER info = {};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + DWORD(stride) * height;
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = height;  // bottom-up
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biSizeImage = DWORD(stride) * height;
  FILE *out = fopen(path, "wb");
  if (!out) {
    why = "cannot create " + std::string(path);
    return false;
  }
  bool written = fwrite(&file, sizeof file, 1, out) == 1 &&
                 fwrite(&info, sizeof info, 1, out) == 1;
  std::vector<unsigned char> line(stride, 0);
  for (int row = height - 1; written && row >= 0; --row) {
    for (int col = 0; col < width; ++col) {
      uint32_t p = frames[col / kFrameWidth]->pixels[row][col % kFrameWidth];
      line[col * 3] = p & 0xFF;
      line[col * 3 + 1] = (p >> 8) & 0xFF;
      line[col * 3 + 2] = (p >> 16) & 0xFF;
    }
    written = fwrite(line.data(), 1, line.size(), out) == line.size();
  }
  written = fclose(out) == 0 && written;
  if (!written) why = "the write failed (is the disk full?)";
  return written;
}

// The frames side by side in one run of rows, for the encoder.
std::vector<uint32_t> SideBySide(const std::vector<Frame *> &frames) {
  size_t count = frames.size();
  std::vector<uint32_t> pixels(size_t(kFrameWidth) * count * kFrameHeight);
  for (int row = 0; row < kFrameHeight; ++row)
    for (size_t i = 0; i < count; ++i)
      memcpy(&pixels[(size_t(row) * count + i) * kFrameWidth],
             frames[i]->pixels[row], sizeof frames[i]->pixels[row]);
  return pixels;
}

}  // namespace

std::string ImageKind(const char *name) {
  const char *dot = strrchr(name, '.');
  if (!dot || strpbrk(dot, "\\/")) return "";
  std::string kind;
  for (const char *c = dot + 1; *c; ++c) kind += char(tolower(*c));
  return kind == "bmp" || kind == "png" ? kind : "";
}

bool WriteFrames(const char *path, const std::vector<Frame *> &frames,
                 std::string &why) {
  std::string kind = ImageKind(path);
  if (kind == "bmp")
    return WriteThroughPartFile(
        path,
        [&](const char *partial, std::string &reason) {
          return WriteBmpFile(partial, frames, reason);
        },
        why);
  if (kind != "png") {
    why = "not a .bmp or .png name";
    return false;
  }
  std::vector<uint32_t> pixels = SideBySide(frames);
  int width = kFrameWidth * int(frames.size());
  return WriteThroughPartFile(
      path,
      [&](const char *partial, std::string &reason) {
        return WritePngFile(partial, pixels.data(), width, kFrameHeight,
                            reason);
      },
      why);
}
