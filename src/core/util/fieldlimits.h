// VexaHost - what each value the operator types may hold: the window's
// fields take their lengths from here and vexactl checks its options and
// arguments against the same entries, so the two cannot drift apart.
//
// A hexadecimal value shorter than its field is taken as the window takes
// it (the codecs say how); a longer one would lose digits without a word,
// which is why the command line refuses it.
#pragma once

#include <QString>

namespace vexa::fields {

enum class Kind { Hex, Decimal, Text };

struct Limit
{
    Kind kind;
    int maxLength; // characters the field takes; 0: the field has no limit
    int low = 0;   // Decimal: the numbers a command may carry
    int high = 0;
};

// "ISO/IEC 15693" page
inline constexpr Limit kIsoUid{Kind::Hex, 16};
inline constexpr Limit kIsoBlockNumber{Kind::Decimal, 3, 0, 255};
// The field's three digits; View Many Blocks carries at most 32.
inline constexpr Limit kIsoBlockCount{Kind::Decimal, 3, 0, 255};
inline constexpr Limit kIsoViewCount{Kind::Decimal, 3, 0, 32};
inline constexpr Limit kIsoData4{Kind::Hex, 8};  // 4-byte blocks
inline constexpr Limit kIsoData8{Kind::Hex, 16}; // 8-byte blocks
// A value of the write grid travels in 4 bytes whatever the block length;
// the grid's "Value" cells and the command line take at most 8 digits.
inline constexpr Limit kIsoGridValue{Kind::Hex, 8};
inline constexpr Limit kDsfid{Kind::Hex, 2};
// The AFI's low digit; its family is chosen from a list of 16.
inline constexpr Limit kAfiSubcategory{Kind::Hex, 1};

// "Tag-it" page; the two numbers are one-digit combo boxes.
inline constexpr Limit kTagitAddress{Kind::Hex, 8};
inline constexpr Limit kTagitBlockNumber{Kind::Decimal, 1, 0, 7};
inline constexpr Limit kTagitBlockCount{Kind::Decimal, 1, 0, 8};
inline constexpr Limit kTagitData{Kind::Hex, 8};

// Configuration dialogs
inline constexpr Limit kReaderSerialNumber{Kind::Text, 7};
inline constexpr Limit kUserKey{Kind::Hex, 16};
// LED and buzzer on-times travel in units of 5 ms in 16 bits. The dialogs'
// fields set no length; this is the command line's range.
inline constexpr Limit kOnTimeMs{Kind::Decimal, 0, 0, 0xFFFF * 5};

// Why `text` does not fit `limit`, naming the value `name` as the operator
// knows it (an option such as "--uid" or an argument such as "BLOCK");
// empty when it fits. Empty text never fits: a missing value is refused,
// not taken as zero.
QString refusal(const Limit &limit, const QString &name, const QString &text);

} // namespace vexa::fields
