#pragma once
// Byte-stream records of single float and single unsigned 32-bit attributes:
//
//   serializeAttribute(out, width);     // AT_S_FLOAT 1.0: 00 00 80 3F
//   deserializeAttribute(in, width);
//
// A record is the attribute's minimum and maximum (only when it has a
// range), then its value: 4 bytes each, little-endian on every host (IEEE 754
// binary32 for floats). Records carry no type tag and no length, so they are
// read back into attributes of the same kind and range property, in the same
// order. Every other kind has an empty record: nothing is written or read.
//
// Stream failures are left in the stream's state for the caller to test. A
// read that comes up short stores nothing: the attribute stays as it was.
// Reading stores the range first (one setMinMaxValues), then the value with
// set(), so the value is clamped into the range just read; exceptions from
// these calls pass through.

#include <tavel/Export.h>

#include <istream>
#include <ostream>

namespace Norv::Tavel {

class Attribute;

// Writes the attribute's record; a failed write is left in the stream's state.
TAVEL_EXPORT std::ostream& serializeAttribute(std::ostream& out, Attribute const& attribute);
// Reads a record into the attribute; a short read stores nothing and fails the stream.
TAVEL_EXPORT std::istream& deserializeAttribute(std::istream& in, Attribute& attribute);

} // namespace Norv::Tavel
