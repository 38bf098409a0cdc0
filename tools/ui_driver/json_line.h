// One JSON object per output line for the UI driver: fields appended in order, wide text written
// as UTF-8 with the escapes JSON needs. Portable (no windows.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qv::ui {

// UTF-16 text (as Windows gives it) to UTF-8; an unpaired surrogate becomes U+FFFD.
inline std::string ToUtf8(const std::wstring& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t c = static_cast<uint16_t>(text[i]);
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() &&
        static_cast<uint16_t>(text[i + 1]) >= 0xDC00 && static_cast<uint16_t>(text[i + 1]) <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<uint16_t>(text[++i]) - 0xDC00);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// A JSON string literal of UTF-8 text.
inline std::string Quote(const std::string& utf8) {
  static const char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  for (unsigned char c : utf8) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          out += "\\u00";
          out += kHex[c >> 4];
          out += kHex[c & 0xF];
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

class CJsonObject {
 public:
  CJsonObject& Str(const char* key, const std::wstring& value) { return Raw(key, Quote(ToUtf8(value))); }
  CJsonObject& Str(const char* key, const std::string& utf8) { return Raw(key, Quote(utf8)); }
  CJsonObject& Str(const char* key, const char* utf8) { return Raw(key, Quote(utf8)); }
  CJsonObject& Int(const char* key, long long value) { return Raw(key, std::to_string(value)); }
  CJsonObject& Bool(const char* key, bool value) { return Raw(key, value ? "true" : "false"); }
  CJsonObject& Null(const char* key) { return Raw(key, "null"); }
  CJsonObject& Obj(const char* key, const CJsonObject& value) { return Raw(key, value.Text()); }
  CJsonObject& Array(const char* key, const std::vector<CJsonObject>& items) {
    std::string text = "[";
    for (size_t i = 0; i < items.size(); ++i) text += (i ? "," : "") + items[i].Text();
    return Raw(key, text + "]");
  }
  // `json` must already be valid JSON.
  CJsonObject& Raw(const char* key, const std::string& json) {
    if (!m_strBody.empty()) m_strBody += ',';
    m_strBody += Quote(key) + ':' + json;
    return *this;
  }
  std::string Text() const { return '{' + m_strBody + '}'; }

 private:
  std::string m_strBody;
};

}  // namespace qv::ui
