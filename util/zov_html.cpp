#include "zov_html.h"

#include <climits>

namespace {

// ASCII only: bytes 128-255 are never part of a word or an entity name,
// whatever the locale says.
bool is_alnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool is_word(char c) { return is_alnum(c) || c == '-' || c == '_'; }

// The end of what a step may read: `l`, but never past the text.
int bounded(const std::string& s, int l) {
    if (l < 0) return 0;
    return (size_t)l > s.size() ? (int)s.size() : l;
}

int start(int i) { return i < 0 ? 0 : i; }

} // namespace

// ====== Scanning steps ======

int _html_code(std::string& s, int i, int l, std::string& code) {
    l = bounded(s, l);
    i = start(i);
    if (i < l) i++; // the "&"
    std::string name;
    while (i < l && is_alnum(s[i])) name += s[i++];
    if (i < l && s[i] == ';') i++;
    if (name == "amp") code = "&";
    else if (name == "lt") code = "<";
    else if (name == "gt") code = ">";
    else if (name == "quot") code = "\"";
    else if (name == "nbsp") code = " ";
    else code = "?";
    return i;
}

int _html_param(std::string& s, int i, int l, std::string& param) {
    l = bounded(s, l);
    i = start(i);
    int from = i;
    while (i < l && is_word(s[i])) i++;
    if (i > from) param.append(s, from, i - from);
    return i;
}

int _html_value(std::string& s, int i, int l, std::string& value) {
    l = bounded(s, l);
    i = start(i);
    if (i >= l) return i;
    char quote = s[i++];
    while (i < l && s[i] != quote) {
        if (s[i] == '&') {
            std::string code;
            i = _html_code(s, i, l, code);
            value += code;
        } else {
            value += s[i++];
        }
    }
    if (i < l) i++; // the closing quote
    return i;
}

// States while reading a tag:
//   0 no name yet     word -> "tag" and the attribute name, state 1
//   1 after a word    word -> the attribute name
//   2 after "="       word or quoted value -> the attribute's value, state 1
// A quoted value outside state 2 is read and dropped; "/" marks the tag
// closed in every state; ">" ends the tag; any other byte is skipped.
int _html_tag(std::string& s, int i, int l, var& tag) {
    l = bounded(s, l);
    i = start(i);
    int state = 0;
    std::string name;
    while (i < l) {
        char c = s[i];
        if (c == '/') {
            tag["closed"] = var(1);
            i++;
        } else if (is_word(c)) {
            std::string word;
            i = _html_param(s, i, l, word);
            if (state == 0) {
                tag["tag"] = var(word);
                state = 1;
            }
            if (state == 1) {
                name = word;
            } else {
                tag[name] = var(word);
                state = 1;
            }
        } else if (c == '=') {
            state = 2;
            i++;
        } else if (c == '"' || c == '\'') {
            std::string value;
            i = _html_value(s, i, l, value);
            if (state == 2) {
                tag[name] = var(value);
                state = 1;
            }
        } else if (c == '>') {
            return i + 1;
        } else {
            i++;
        }
    }
    return i;
}

// ====== The scanner ======

var html_parse(std::string s) {
    var tags = var_list();
    var last = var_dict(); // the record that the collected text belongs to
    std::string text;
    int l = bounded(s, INT_MAX);
    int i = 0;
    while (i < l) {
        char c = s[i];
        if (c == '<') {
            if (!last.__has__("closed") && !last.__has__("content")) last["content"] = var(text);
            text.clear();
            var tag = var_dict();
            i = _html_tag(s, i, l, tag);
            list_append(tags, tag);
            last = tag;
        } else if (c == '&') {
            std::string code;
            i = _html_code(s, i, l, code);
            text += code;
        } else {
            text += c;
            i++;
        }
    }
    return tags;
}
