// CIE L*a*b* to RGB conversion used when a picture is finished.
#pragma once

#include <cstdint>

enum class LabWhite { D50, D65 };

class LabConverter {
 public:
  explicit LabConverter(LabWhite white);
  // L in 0..100, a and b signed; writes R, G, B.
  void Convert(double L, double a, double b, uint8_t* rgb) const;

 private:
  double white_[3];
  double matrix_[3][3];
  uint8_t gamma_[256];
};

const LabConverter& LabConverterFor(LabWhite white);
