// SGI LogLuv decoding and the tone mapping to 8-bit RGB.
#include "imagelib/codecs/tiff_sgilog.h"

#include <cmath>
#include <cstring>

namespace {

// The uv cells of SGILog24: per row of v, the first u and the number of
// cells; cells of size 0.0035, rows from v = 0.01694.
struct UvRow {
  float uStart;
  int16_t cells;
};

const UvRow kUvRows[163] = {
    {0.247663f, 4},
    {0.243779f, 6},
    {0.241684f, 7},
    {0.237874f, 9},
    {0.235906f, 10},
    {0.232153f, 12},
    {0.228352f, 14},
    {0.226259f, 15},
    {0.222371f, 17},
    {0.220410f, 18},
    {0.214710f, 21},
    {0.212714f, 22},
    {0.210721f, 23},
    {0.204976f, 26},
    {0.202986f, 27},
    {0.199245f, 29},
    {0.195525f, 31},
    {0.193560f, 32},
    {0.189878f, 34},
    {0.186216f, 36},
    {0.186216f, 36},
    {0.182592f, 38},
    {0.179003f, 40},
    {0.175466f, 42},
    {0.172001f, 44},
    {0.172001f, 44},
    {0.168612f, 46},
    {0.168612f, 46},
    {0.163575f, 49},
    {0.158642f, 52},
    {0.158642f, 52},
    {0.158642f, 52},
    {0.153815f, 55},
    {0.153815f, 55},
    {0.149097f, 58},
    {0.149097f, 58},
    {0.142746f, 62},
    {0.142746f, 62},
    {0.142746f, 62},
    {0.138270f, 65},
    {0.138270f, 65},
    {0.138270f, 65},
    {0.132166f, 69},
    {0.132166f, 69},
    {0.126204f, 73},
    {0.126204f, 73},
    {0.126204f, 73},
    {0.120381f, 77},
    {0.120381f, 77},
    {0.120381f, 77},
    {0.120381f, 77},
    {0.112962f, 82},
    {0.112962f, 82},
    {0.112962f, 82},
    {0.107450f, 86},
    {0.107450f, 86},
    {0.107450f, 86},
    {0.107450f, 86},
    {0.100343f, 91},
    {0.100343f, 91},
    {0.100343f, 91},
    {0.095126f, 95},
    {0.095126f, 95},
    {0.095126f, 95},
    {0.095126f, 95},
    {0.088276f, 100},
    {0.088276f, 100},
    {0.088276f, 100},
    {0.088276f, 100},
    {0.081523f, 105},
    {0.081523f, 105},
    {0.081523f, 105},
    {0.081523f, 105},
    {0.074861f, 110},
    {0.074861f, 110},
    {0.074861f, 110},
    {0.074861f, 110},
    {0.068290f, 115},
    {0.068290f, 115},
    {0.068290f, 115},
    {0.068290f, 115},
    {0.063573f, 119},
    {0.063573f, 119},
    {0.063573f, 119},
    {0.063573f, 119},
    {0.057219f, 124},
    {0.057219f, 124},
    {0.057219f, 124},
    {0.057219f, 124},
    {0.050985f, 129},
    {0.050985f, 129},
    {0.050985f, 129},
    {0.050985f, 129},
    {0.050985f, 129},
    {0.044859f, 134},
    {0.044859f, 134},
    {0.044859f, 134},
    {0.044859f, 134},
    {0.040571f, 138},
    {0.040571f, 138},
    {0.040571f, 138},
    {0.040571f, 138},
    {0.036339f, 142},
    {0.036339f, 142},
    {0.036339f, 142},
    {0.036339f, 142},
    {0.032139f, 146},
    {0.032139f, 146},
    {0.032139f, 146},
    {0.032139f, 146},
    {0.027947f, 150},
    {0.027947f, 150},
    {0.027947f, 150},
    {0.023739f, 154},
    {0.023739f, 154},
    {0.023739f, 154},
    {0.023739f, 154},
    {0.019504f, 158},
    {0.019504f, 158},
    {0.019504f, 158},
    {0.016976f, 161},
    {0.016976f, 161},
    {0.016976f, 161},
    {0.016976f, 161},
    {0.012639f, 165},
    {0.012639f, 165},
    {0.012639f, 165},
    {0.009991f, 168},
    {0.009991f, 168},
    {0.009991f, 168},
    {0.009016f, 170},
    {0.009016f, 170},
    {0.009016f, 170},
    {0.006217f, 173},
    {0.006217f, 173},
    {0.005097f, 175},
    {0.005097f, 175},
    {0.005097f, 175},
    {0.003909f, 177},
    {0.003909f, 177},
    {0.002340f, 177},
    {0.002389f, 170},
    {0.001068f, 164},
    {0.001653f, 157},
    {0.000717f, 150},
    {0.001614f, 143},
    {0.000270f, 136},
    {0.000484f, 129},
    {0.001103f, 123},
    {0.001242f, 115},
    {0.001188f, 109},
    {0.001011f, 103},
    {0.000709f, 97},
    {0.000301f, 89},
    {0.002416f, 82},
    {0.003251f, 76},
    {0.003246f, 69},
    {0.004141f, 62},
    {0.005963f, 55},
    {0.008839f, 47},
    {0.010490f, 40},
    {0.016994f, 31},
    {0.023659f, 21},
};

constexpr double kUvCell = 0.0035;
constexpr double kVStart = 0.01694;
constexpr uint32_t kUvCells = 16289;
constexpr double kNeutralU = 0.210526316;
constexpr double kNeutralV = 0.473684211;

struct UvIndex {
  int first[163];
  UvIndex() {
    int sum = 0;
    for (int i = 0; i < 163; i++) {
      first[i] = sum;
      sum += kUvRows[i].cells;
    }
  }
};

const UvIndex& Index() {
  static const UvIndex index;
  return index;
}

class SgiLogDecompressor final : public TiffDecompressor {
 public:
  SgiLogDecompressor(int width, int bytesPerPixel)
      : width_(width > 0 ? width : 1), bytes_(bytesPerPixel == 2 ? 2 : 4) {
    rowBytes_ = (size_t)width_ * bytes_;
  }

  void Begin(const uint8_t* data, size_t size) override {
    in_ = data;
    end_ = data + size;
  }

  int Read(uint8_t* out, size_t size, size_t* produced) override {
    size_t n = 0;
    int status = TIFF_DECODE_OK;
    while (n + rowBytes_ <= size) {
      bool complete = bytes_ == 2 ? DecodeRow<uint16_t>((uint16_t*)(void*)(out + n))
                                  : DecodeRow<uint32_t>((uint32_t*)(void*)(out + n));
      if (!complete) {
        status = TIFF_DECODE_SHORT;
        break;
      }
      n += rowBytes_;
    }
    *produced = n;
    if (n < size) memset(out + n, 0, size - n);
    if (status == TIFF_DECODE_OK && n < size) status = TIFF_DECODE_SHORT;
    return status;
  }

 private:
  // Each byte plane, most significant first, is coded as runs (a count byte
  // of 128 or more repeats the next byte count - 126 times) and literals (a
  // count byte below 128 followed by that many bytes).
  template <typename T>
  bool DecodeRow(T* row) {
    memset(row, 0, sizeof(T) * (size_t)width_);
    for (int shift = 8 * (bytes_ - 1); shift >= 0; shift -= 8) {
      int i = 0;
      while (i < width_ && in_ < end_) {
        int code = *in_++;
        if (code >= 128) {
          if (in_ >= end_) return false;
          T value = (T)((T)*in_++ << shift);
          int count = code - 126;
          while (count-- > 0 && i < width_) row[i++] |= value;
        } else {
          int count = code;
          while (count-- > 0 && i < width_ && in_ < end_) row[i++] |= (T)((T)*in_++ << shift);
        }
      }
      if (i < width_) return false;
    }
    return true;
  }

  int width_;
  int bytes_;
  size_t rowBytes_;
  const uint8_t* in_ = nullptr;
  const uint8_t* end_ = nullptr;
};

}  // namespace

std::unique_ptr<TiffDecompressor> NewSgiLogDecompressor(int width, int bytesPerPixel) {
  return std::make_unique<SgiLogDecompressor>(width, bytesPerPixel);
}

uint8_t LogToneMap(double v) {
  if (!(v > 0)) return 0;
  if (v >= 1) return 255;
  return (uint8_t)(256.0 * std::sqrt(v));
}

// A luminance code of 0 stands for zero light in the LogLuv encoding.
double LogL16ToY(uint32_t p) {
  uint32_t l = p & 0x7FFF;
  if (l == 0) return 0;
  double y = std::exp((l + 0.5) * 0.0027076061740622863 - 44.3614195558365);
  return (p & 0x8000) ? -y : y;
}

double LogL10ToY(uint32_t p) {
  uint32_t l = p & 0x3FF;
  if (l == 0) return 0;
  return std::exp((l + 0.5) * 0.010830424696249145 - 8.317766166719343);
}

void LogUvDecode(uint32_t index, double* u, double* v) {
  if (index >= kUvCells) {
    *u = kNeutralU;
    *v = kNeutralV;
    return;
  }
  const UvIndex& idx = Index();
  int lo = 0, hi = 162;
  while (lo < hi) {
    int mid = (lo + hi + 1) / 2;
    if ((uint32_t)idx.first[mid] <= index)
      lo = mid;
    else
      hi = mid - 1;
  }
  int ui = (int)index - idx.first[lo];
  *u = kUvRows[lo].uStart + (ui + 0.5) * kUvCell;
  *v = kVStart + (lo + 0.5) * kUvCell;
}

void LogLuvToRgb(double y, double u, double v, uint8_t* rgb) {
  double X = 0, Y = 0, Z = 0;
  if (y > 0) {
    double s = 6 * u - 16 * v + 12;
    double x = 9 * u / s;
    double yy = 4 * v / s;
    Y = y;
    X = x / yy * y;
    Z = (1 - x - yy) / yy * y;
  }
  rgb[0] = LogToneMap(2.690 * X - 1.276 * Y - 0.414 * Z);
  rgb[1] = LogToneMap(-1.022 * X + 1.978 * Y + 0.044 * Z);
  rgb[2] = LogToneMap(0.061 * X - 0.224 * Y + 1.163 * Z);
}

void LogL16RowToGrey(const uint16_t* in, uint8_t* out, int count) {
  for (int i = 0; i < count; i++) out[i] = LogToneMap(LogL16ToY(in[i]));
}

void LogLuv32RowToRgb(const uint32_t* in, uint8_t* out, int count) {
  for (int i = 0; i < count; i++) {
    uint32_t p = in[i];
    double u = (((p >> 8) & 0xFF) + 0.5) / 410.0;
    double v = ((p & 0xFF) + 0.5) / 410.0;
    LogLuvToRgb(LogL16ToY(p >> 16), u, v, out + 3 * i);
  }
}

void LogLuv24RowToRgb(const uint8_t* in, uint8_t* out, int count) {
  for (int i = 0; i < count; i++) {
    const uint8_t* b = in + 3 * i;
    uint32_t p = ((uint32_t)b[0] << 16) | ((uint32_t)b[1] << 8) | b[2];
    double u, v;
    LogUvDecode(p & 0x3FFF, &u, &v);
    LogLuvToRgb(LogL10ToY(p >> 14), u, v, out + 3 * i);
  }
}
