#include "imagelib/core/colour_models.h"

#include <cmath>

LabConverter::LabConverter(LabWhite white) {
  static const double kD50[3] = {0.9643, 1.0, 0.8251};
  static const double kD65[3] = {0.9505, 1.0, 1.089};
  static const double kMatrixD50[3][3] = {
      {3.13386467802206, -1.61708787738292, -0.49070460774676},
      {-0.97846928415465, 1.91605177261501, 0.03346568837626},
      {0.07197299083166, -0.22908945441861, 1.40536182567307}};
  static const double kMatrixD65[3][3] = {
      {3.24062547732005, -1.53720797221032, -0.49862859869825},
      {-0.96893071472932, 1.87575606088524, 0.04151752384295},
      {0.05571012044551, -0.20402105059849, 1.05699594225439}};
  const double* w = white == LabWhite::D50 ? kD50 : kD65;
  const double(*m)[3] = white == LabWhite::D50 ? kMatrixD50 : kMatrixD65;
  for (int i = 0; i < 3; ++i) {
    white_[i] = w[i];
    for (int k = 0; k < 3; ++k) matrix_[i][k] = m[i][k];
  }
  for (int i = 0; i < 256; ++i) {
    double v = i / 256.0;
    double g = v < 0.00303951367781155 ? v * 3295.395483970642 + 0.5
                                        : (1.055 * std::pow(v, 1 / 2.4) - 0.055) * 255 + 0.5;
    int t = (int)g;
    gamma_[i] = (uint8_t)(t < 0 ? 0 : t > 255 ? 255 : t);
  }
}

void LabConverter::Convert(double L, double a, double b, uint8_t* rgb) const {
  double fy, Y;
  if (L > 8) {
    fy = (L + 16) / 116;
    Y = fy * fy * fy;
  } else {
    Y = L * 0.0011070564482319617;
    fy = Y * 7.787036979 + 16.0 / 116;
  }
  const double fx = fy + a * 0.002;
  const double fz = fy - b * 0.005;
  auto inverse = [](double f) { return f > 6.0 / 29 ? f * f * f : (f - 16.0 / 116) * 0.12841855030312424; };
  double xyz[3] = {inverse(fx), Y, inverse(fz)};
  for (int i = 0; i < 3; ++i) {
    if (xyz[i] < 0) xyz[i] = 0;
    if (xyz[i] > 2) xyz[i] = 2;
    xyz[i] *= white_[i];
  }
  for (int c = 0; c < 3; ++c) {
    double v = matrix_[c][0] * xyz[0] + matrix_[c][1] * xyz[1] + matrix_[c][2] * xyz[2];
    double scaled = v * 255 + 0.5;
    if (scaled >= 256) rgb[c] = 255;
    else if (scaled < 0) rgb[c] = 0;
    else rgb[c] = gamma_[(int)scaled];
  }
}

const LabConverter& LabConverterFor(LabWhite white) {
  static const LabConverter d50(LabWhite::D50);
  static const LabConverter d65(LabWhite::D65);
  return white == LabWhite::D50 ? d50 : d65;
}
