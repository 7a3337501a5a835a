#include "update/appcast.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <utility>

#include "text/utf8.h"

namespace plenhall {
namespace {

// Deeper nesting than any feed has is a sign of a hostile one.
constexpr std::size_t kMaxDepth = 64;

struct Attribute {
    std::string name;
    std::string value;
};

bool isNameStart(unsigned char c) {
    return std::isalpha(c) || c == '_' || c == ':' || c >= 0x80;
}
bool isNameChar(unsigned char c) {
    return isNameStart(c) || std::isdigit(c) || c == '-' || c == '.';
}
bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view localName(std::string_view name) {
    auto colon = name.find(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

bool hasPrefix(std::string_view name) {
    return name.find(':') != std::string_view::npos;
}

// An appcast element or attribute: any namespace prefix, the given local name.
bool isAppcastName(std::string_view name, std::string_view local) {
    return hasPrefix(name) && localName(name) == local;
}

void appendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | (code >> 6));
        out += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += char(0xE0 | (code >> 12));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xF0 | (code >> 18));
        out += char(0x80 | ((code >> 12) & 0x3F));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

// A name from the feed as a reason quotes it: the reason reaches a dialog.
std::string quoted(std::string_view name) {
    return quotable(name, 40);
}

std::string trimmed(std::string_view text) {
    auto begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string_view::npos) return {};
    auto end = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(begin, end - begin + 1));
}

class Reader {
  public:
    explicit Reader(std::string_view xml) : xml_(xml) {}

    AppcastResult read() {
        while (i_ < xml_.size()) {
            bool ok = xml_[i_] == '<' ? markup() : text();
            if (!ok) return AppcastError{error_};
        }
        if (!stack_.empty())
            return AppcastError{"the feed ends inside <" + quoted(stack_.back()) + ">"};
        if (!sawRoot_) return AppcastError{"the feed is empty"};
        if (rootName_ != "rss") return AppcastError{"the feed is not RSS"};
        return std::move(items_);
    }

  private:
    bool fail(std::string reason) {
        error_ = std::move(reason);
        return false;
    }

    bool startsWith(std::string_view prefix) const {
        return xml_.substr(i_, prefix.size()) == prefix;
    }

    bool skipPast(std::string_view end, const char* what) {
        auto found = xml_.find(end, i_);
        if (found == std::string_view::npos) return fail(std::string("unterminated ") + what);
        i_ = found + end.size();
        return true;
    }

    bool name(std::string& out) {
        if (i_ >= xml_.size() || !isNameStart(static_cast<unsigned char>(xml_[i_])))
            return fail("malformed name");
        auto start = i_;
        while (i_ < xml_.size() && isNameChar(static_cast<unsigned char>(xml_[i_]))) ++i_;
        out.assign(xml_.substr(start, i_ - start));
        return true;
    }

    void spaces() {
        while (i_ < xml_.size() && isSpace(xml_[i_])) ++i_;
    }

    // Character data up to `stop`, with references resolved.
    bool characters(char stop, std::string& out) {
        while (i_ < xml_.size() && xml_[i_] != stop) {
            char c = xml_[i_];
            if (c == '<') return fail("'<' inside a value");
            if (c != '&') {
                out += c;
                ++i_;
                continue;
            }
            auto end = xml_.find(';', i_);
            if (end == std::string_view::npos || end - i_ > 12) return fail("malformed reference");
            std::string_view reference = xml_.substr(i_ + 1, end - i_ - 1);
            i_ = end + 1;
            if (reference == "lt") {
                out += '<';
            } else if (reference == "gt") {
                out += '>';
            } else if (reference == "amp") {
                out += '&';
            } else if (reference == "quot") {
                out += '"';
            } else if (reference == "apos") {
                out += '\'';
            } else if (reference.size() > 1 && reference[0] == '#') {
                const bool hex = reference[1] == 'x';
                std::string_view digits = reference.substr(hex ? 2 : 1);
                if (digits.empty()) return fail("malformed character reference");
                std::uint32_t code = 0;
                for (char d : digits) {
                    int value = std::isdigit(static_cast<unsigned char>(d)) ? d - '0'
                                : hex && std::isxdigit(static_cast<unsigned char>(d))
                                    ? std::tolower(static_cast<unsigned char>(d)) - 'a' + 10
                                    : -1;
                    if (value < 0) return fail("malformed character reference");
                    code = code * (hex ? 16 : 10) + std::uint32_t(value);
                    if (code > 0x10FFFF) return fail("character reference out of range");
                }
                if (code == 0 || (code >= 0xD800 && code <= 0xDFFF))
                    return fail("character reference out of range");
                appendUtf8(out, code);
            } else {
                return fail("unknown entity &" + quoted(reference) + ";");
            }
        }
        return true;
    }

    bool text() {
        if (stack_.empty()) {
            // Only white space may stand outside the root element.
            if (!isSpace(xml_[i_])) return fail("text outside the root element");
            ++i_;
            return true;
        }
        return characters('<', text_);
    }

    bool markup() {
        if (startsWith("<!--")) return skipPast("-->", "comment");
        if (startsWith("<?")) return skipPast("?>", "processing instruction");
        if (startsWith("<![CDATA[")) {
            if (stack_.empty()) return fail("text outside the root element");
            i_ += 9;
            auto end = xml_.find("]]>", i_);
            if (end == std::string_view::npos) return fail("unterminated CDATA section");
            text_.append(xml_.substr(i_, end - i_));
            i_ = end + 3;
            return true;
        }
        // Declarations could define entities; a feed has no use for them.
        if (startsWith("<!")) return fail("document type declarations are not accepted");
        if (startsWith("</")) return endTag();
        return startTag();
    }

    bool startTag() {
        ++i_;
        std::string element;
        if (!name(element)) return false;
        std::vector<Attribute> attributes;
        for (;;) {
            spaces();
            if (i_ >= xml_.size()) return fail("unterminated tag <" + quoted(element) + ">");
            if (xml_[i_] == '>' || startsWith("/>")) break;
            Attribute attribute;
            if (!name(attribute.name)) return false;
            spaces();
            if (i_ >= xml_.size() || xml_[i_] != '=') return fail("attribute without a value");
            ++i_;
            spaces();
            if (i_ >= xml_.size() || (xml_[i_] != '"' && xml_[i_] != '\''))
                return fail("unquoted attribute value");
            char quote = xml_[i_++];
            if (!characters(quote, attribute.value)) return false;
            if (i_ >= xml_.size()) return fail("unterminated attribute value");
            ++i_;
            attributes.push_back(std::move(attribute));
        }
        const bool selfClosing = xml_[i_] == '/';
        i_ += selfClosing ? 2 : 1;

        if (stack_.empty()) {
            if (sawRoot_) return fail("more than one root element");
            sawRoot_ = true;
            rootName_ = element;
        }
        if (element == "item" && !item_) {
            item_ = AppcastItem{};
            itemDepth_ = stack_.size();
        } else if (item_ && element == "enclosure") {
            for (const auto& attribute : attributes) {
                if (attribute.name == "url") enclosureURL_ = trimmed(attribute.value);
                if (isAppcastName(attribute.name, "version") && item_->version.empty()) {
                    item_->version = trimmed(attribute.value);
                }
                if (isAppcastName(attribute.name, "shortVersionString") &&
                    item_->shortVersion.empty()) {
                    item_->shortVersion = trimmed(attribute.value);
                }
            }
        }
        if (selfClosing) {
            if (element == "item" && item_ && itemDepth_ == stack_.size()) finishItem();
            return true;
        }
        if (stack_.size() >= kMaxDepth) return fail("the feed nests too deeply");
        stack_.push_back(std::move(element));
        text_.clear();
        return true;
    }

    bool endTag() {
        i_ += 2;
        std::string element;
        if (!name(element)) return false;
        spaces();
        if (i_ >= xml_.size() || xml_[i_] != '>')
            return fail("malformed end tag </" + quoted(element) + ">");
        ++i_;
        if (stack_.empty() || stack_.back() != element)
            return fail("mismatched end tag </" + quoted(element) + ">");
        stack_.pop_back();

        if (item_ && stack_.size() == itemDepth_ + 1) {
            // A direct child of the item.
            std::string value = trimmed(text_);
            if (element == "title") item_->title = value;
            if (element == "link") itemLink_ = value;
            if (isAppcastName(element, "version")) item_->version = value;
            if (isAppcastName(element, "shortVersionString")) item_->shortVersion = value;
            if (isAppcastName(element, "releaseNotesLink")) item_->releaseNotesLink = value;
        }
        if (item_ && element == "item" && stack_.size() == itemDepth_) finishItem();
        text_.clear();
        return true;
    }

    void finishItem() {
        item_->downloadLink = !itemLink_.empty() ? itemLink_ : enclosureURL_;
        if (item_->shortVersion.empty()) item_->shortVersion = item_->version;
        items_.push_back(std::move(*item_));
        item_.reset();
        itemLink_.clear();
        enclosureURL_.clear();
    }

    std::string_view xml_;
    std::size_t i_ = 0;
    std::string error_;
    std::vector<std::string> stack_;
    std::string text_;
    bool sawRoot_ = false;
    std::string rootName_;
    std::vector<AppcastItem> items_;
    std::optional<AppcastItem> item_;
    std::size_t itemDepth_ = 0;
    std::string itemLink_;
    std::string enclosureURL_;
};

enum class PartType { number, period, space, text };

PartType typeOf(char c) {
    if (std::isdigit(static_cast<unsigned char>(c))) return PartType::number;
    if (c == '.') return PartType::period;
    if (isSpace(c)) return PartType::space;
    return PartType::text;
}

std::vector<std::string_view> parts(std::string_view version) {
    std::vector<std::string_view> result;
    std::size_t start = 0;
    for (std::size_t i = 1; i <= version.size(); ++i) {
        // Each period is a part of its own; other runs of one type form a part.
        if (i == version.size() || typeOf(version[i]) != typeOf(version[start]) ||
            typeOf(version[start]) == PartType::period) {
            std::string_view part = version.substr(start, i - start);
            if (!part.empty() && typeOf(part.front()) != PartType::space) result.push_back(part);
            start = i;
        }
    }
    return result;
}

int compareNumbers(std::string_view a, std::string_view b) {
    // Any length: compare without leading zeros, by length, then digit by digit.
    a.remove_prefix(std::min(a.find_first_not_of('0'), a.size()));
    b.remove_prefix(std::min(b.find_first_not_of('0'), b.size()));
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    int order = a.compare(b);
    return order < 0 ? -1 : order > 0 ? 1 : 0;
}

bool isOfferable(const AppcastItem& item) {
    auto showable = [](const std::string& version) {
        return version.size() <= kMaxVersionBytes && isPlainText(version);
    };
    return !item.version.empty() && showable(item.version) && showable(item.shortVersion);
}

}  // namespace

AppcastResult parseAppcast(std::string_view xml) {
    return Reader(xml).read();
}

int compareVersions(std::string_view a, std::string_view b) {
    auto left = parts(a);
    auto right = parts(b);
    const std::size_t shared = std::min(left.size(), right.size());
    for (std::size_t i = 0; i < shared; ++i) {
        PartType typeLeft = typeOf(left[i].front());
        PartType typeRight = typeOf(right[i].front());
        if (typeLeft == typeRight) {
            int order = 0;
            if (typeLeft == PartType::number) order = compareNumbers(left[i], right[i]);
            if (typeLeft == PartType::text)
                order = left[i].compare(right[i]) < 0 ? -1 : left[i] == right[i] ? 0 : 1;
            if (order != 0) return order;
            continue;
        }
        // Text (a pre-release tag) is older than anything else in its place; a number is newer
        // than a period.
        if (typeRight == PartType::text) return 1;
        if (typeLeft == PartType::text) return -1;
        return typeLeft == PartType::number ? 1 : -1;
    }
    if (left.size() == right.size()) return 0;
    // One has more parts: more numbers make it newer, a trailing tag makes it a pre-release.
    if (left.size() > right.size()) return typeOf(left[shared].front()) == PartType::text ? -1 : 1;
    return typeOf(right[shared].front()) == PartType::text ? 1 : -1;
}

std::optional<AppcastItem> newestUpdate(const std::vector<AppcastItem>& items,
                                        std::string_view current) {
    const AppcastItem* newest = nullptr;
    for (const auto& item : items) {
        if (!isOfferable(item)) continue;
        if (!newest || compareVersions(item.version, newest->version) > 0) newest = &item;
    }
    if (!newest || compareVersions(newest->version, current) <= 0) return std::nullopt;
    return *newest;
}

}  // namespace plenhall
