// Pictures on the library's streams: BMP images written by our own writer
// (so that stored bytes never depend on the Qt version), read back through
// Qt's BMP reader once our checks passed.
#pragma once

#include "widgets/storage/stream.h"

#include <QImage>

#include <cstdint>
#include <string>
#include <vector>

namespace kyd::widgets {

// Pixel formats of a stored picture: the picture's own depth (1- and 8-bit
// pictures keep theirs, others are stored with 24 bits), 1, 4 or 8 bits per
// pixel. A monochrome picture is always stored with 1 bit. -1 stores the
// picture's own form, which is the same BMP image as 0.
enum TDUDBmpFormat : int {
    bfOwnStream = -1,
    bfOwnDepth = 0,
    bfMono = 2,
    bfColors16 = 16,
    bfColors256 = 256,
};

// The BMP image of picture in format (empty for a null picture); reduced
// depths map every pixel to the nearest colour of a fixed palette.
// EWriteError for a picture too large for the BMP header fields.
std::vector<std::uint8_t> DUDBmpImage(const QImage& picture, int format);
// The size of that BMP image, worked out without making it.
std::int64_t DUDBmpImageSize(const QImage& picture, int format);
// Writes the BMP image without prefix and seeks the stream to its start.
void DUDBmpSaveDIBStream(TStream& stream, const QImage& picture, int format);

// Decodes a BMP image once DUDCheckBmp passed and the bytes it decodes to
// were counted against the thread's read budget (TDUDReadBudget).
// EReadError when the check fails, the budget is spent or the decoder
// fails (never a null picture).
QImage DUDDecodeBmp(const std::uint8_t* data, std::size_t size);
// A BMP file decoded as above. Only a regular file of at most
// kDUDMaxFileSize bytes is read: a FIFO, a device or a folder raises
// EFOpenError at once, without being waited on.
QImage DUDLoadBmpFile(const std::string& name);

void stWriteBitmap(TStream& s, const QImage& picture, bool compressed, int format);
// A damaged or oversized picture raises EReadError; picture then keeps what
// it was. Against the thread's read budget the picture counts at the four
// bytes a pixel it decodes to, and its stored bytes only while it is being
// decoded.
void stReadBitmap(TStream& s, QImage& picture, bool compressed);

} // namespace kyd::widgets
