#include "zov_util.h"

#include <climits>

float mymax(float a, float b) { return a > b ? a : b; }
float mymin(float a, float b) { return b > a ? a : b; }
int mysign(float v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }
float myabs(float v) { return v < 0 ? -v : v; }

int trunc_int(double v) {
    if (v != v) return 0;
    if (v >= 2147483647.0) return INT_MAX;
    if (v <= -2147483648.0) return INT_MIN;
    return (int)v;
}
