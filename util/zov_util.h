// zov_util: small number helpers shared by every subsystem.
// Pure functions, no state, safe on any thread.
#pragma once

// a when a is greater than b, else b (so a NaN argument gives b).
float mymax(float a, float b);
// a when b is greater than a, else b (so a NaN argument gives b).
float mymin(float a, float b);
// -1 below 0, 1 above 0, else 0 (NaN gives 0).
int mysign(float v);
// -v below 0, else v (-0 and NaN come back unchanged).
float myabs(float v);
// v truncated toward zero, saturating at the int range (NaN gives 0): every
// number from a script or a file goes through this before it becomes an int,
// since a plain conversion of a value out of range is undefined.
int trunc_int(double v);
