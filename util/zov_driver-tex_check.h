// zov_driver-tex_check: walks through a picture file's own structure that
// find, before stb_image decodes it, what would make the decoder take far
// more memory or time than the picture's size calls for: PNG chunks that
// claim more bytes than the file has, PNG image data that inflates past
// what the declared size needs, JPEGs of more scans than any encoder
// writes, and JPEG scans that use a Huffman table the file never defines
// (stb_image reads its uninitialised memory until an assert ends the
// program).  The texture loader (zov_driver-tex_load) runs them once the
// header's size is known to fit a texture; and, when stb_image cannot read
// a header, asks here which kind of picture it does not decode it is.
//
// No state: pure functions of the file's bytes.  Depends on zlib.
#pragma once

#include <cstddef>
#include <string>

// The most scans a JPEG may have.  libjpeg's progressive scripts have 10
// scans for colour and 6 for grey, and tools that tune a script stay within
// a few tens; stb_image walks every block of the picture once per scan
// (about 12 ms a scan at 4096 x 4096), so past this bound a file could only
// be made to stall the game: 2,000 empty scans take 25 s.
const int ZOV_JPEG_MAX_SCANS = 100;

// The bytes the image data of a w x h PNG inflates to: per row a filter
// byte and the row's pixels at `depth` bits a channel, per pass of seven
// when interlaced.  0 for a colour type PNG does not have.
unsigned long long _driver_png_data_bytes(unsigned long w, unsigned long h, int depth, int colour, bool interlaced);

// Why stb_image must not decode these bytes of a PNG: a chunk before IEND
// that runs past the end of the file, or image data that inflates past what
// the header's size needs or does not inflate at all.  Empty when it may,
// and for bytes that are not a PNG.  The header's size must fit a texture.
std::string _driver_png_refusal(const unsigned char* file, size_t len);

// Why stb_image must not decode these bytes of a JPEG: more than
// ZOV_JPEG_MAX_SCANS scans, or a scan that uses a Huffman table not defined
// before it.  Empty when it may, and for bytes that are not a JPEG.
std::string _driver_jpeg_refusal(const unsigned char* file, size_t len);

// What kind of picture these bytes hold that stb_image does not decode:
// run-length coded BMP, arithmetic-coded, lossless or hierarchical JPEG.
// Empty for any other bytes.  stb_image's own reason for such a file is
// lost: its header reader tries every format in turn and ends with
// "unknown image type".
std::string _driver_tex_unsupported(const unsigned char* file, size_t len);
