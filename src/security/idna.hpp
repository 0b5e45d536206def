// UTS #46 processing of domain names into their Unicode form (toUnicode),
// Unicode 17.0.0.
//
// The options are those of a web browser resolving a host:
// - Nontransitional processing: deviation characters (ß, ς, ZWJ, ZWNJ) stay.
// - CheckHyphens off: hyphens in positions 3 and 4 and at either end pass;
//   a label must then not begin with "xn--" after decoding (criterion V4).
// - UseSTD3ASCIIRules off. Instead the forbidden domain code points of the
//   URL Standard (C0 controls, space, # % / : < > ? @ [ \ ] ^ |, DEL) are
//   refused wherever they appear in the output.
// - CheckBidi on: when any label holds a right-to-left character (Bidi_Class
//   R, AL or AN), every non-empty label must satisfy the six conditions of
//   RFC 5893, section 2.
// - CheckJoiners off: the ContextJ rules for U+200C and U+200D are not
//   applied.
// - VerifyDnsLength off: empty labels and long labels pass.
//
// As UTS #46 prescribes, an error does not stop processing: disallowed code
// points stay in the output unchanged (not replaced by U+FFFD), and a label
// that fails to decode from Punycode stays in its ACE form.
#pragma once

#include <string>
#include <string_view>

namespace kelrad::idna {

// Empties `out` and writes the UTS #46 Unicode form of `domain` into it
// (mapped, lower-cased, NFC, ACE labels decoded). Returns true when an error
// was recorded for any label.
bool to_unicode(std::string_view domain, std::string& out);

}  // namespace kelrad::idna
