#pragma once
// Stored values are bytes as sent; what the service writes into XML and HTML is valid UTF-8
// with markup escaped. Total: no input makes these throw.
#include <string>
#include <string_view>

namespace dataservice {

// Valid UTF-8 (text::RepairUtf8) without the code points XML 1.0 cannot carry at all (C0
// controls but tab, LF, CR; U+FFFE, U+FFFF), each of which becomes U+FFFD.
std::string xmlSafeText(std::string_view text);

// For an XML attribute value between quotes: xmlSafeText, markup and the blanks that attribute
// normalisation would eat (tab, LF, CR) written as character references.
std::string xmlAttributeEscape(std::string_view text);

// For HTML text and attribute values: xmlSafeText with markup escaped.
std::string htmlEscape(std::string_view text);

}  // namespace dataservice
