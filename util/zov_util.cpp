#include "zov_util.h"

float mymax(float a, float b) { return a > b ? a : b; }
float mymin(float a, float b) { return b > a ? a : b; }
int mysign(float v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }
float myabs(float v) { return v < 0 ? -v : v; }
