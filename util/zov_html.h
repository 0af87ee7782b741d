// zov_html: a scanner for HTML-like markup.
//
// html_parse turns markup into a flat list of tag records, one dict per "<"
// outside tags, in document order.  It builds no tree, checks no nesting and
// knows no tag names.  A record may hold:
//   "tag"      the tag's first word, when its first token is a word;
//   <name>     the value of each attribute written as word "=" value, the
//              value quoted (single or double) or a bare word;
//   "closed"   the number 1, when a "/" stands in the tag outside quotes;
//   "content"  the text up to the next "<", entities decoded, stored when
//              the next tag starts and the record holds neither "closed"
//              nor "content".
// The text before the first tag and after the last one is dropped.
// A word is a run of "-", "_", ASCII letters and digits; keys and values are
// case-sensitive.  Entities: "&amp;", "&lt;", "&gt;", "&quot;", "&nbsp;"
// (one space); any other "&" sequence becomes "?".
//
// No state survives a call; the value model it builds on is main-thread only.
#pragma once

#include <string>

#include "zov_var.h"

// The list of tag records of `s` (empty when it holds no "<").
var html_parse(std::string s);

// Scanning steps.  Each reads `s` from index `i`, never past `l` (nor past
// the end of `s`, whatever `l` says; a negative `i` starts at 0), and
// returns the index after what it read.

// Reads one tag from its "<" (or any byte before its content) to just after
// its ">", or to `l` when it has none, and fills `tag`.
int _html_tag(std::string& s, int i, int l, var& tag);
// Appends the word starting at `i` to `param` (nothing when none starts there).
int _html_param(std::string& s, int i, int l, std::string& param);
// Reads a value quoted with the byte at `i`, appends its text with entities
// decoded to `value`, and consumes the closing quote; a value without one
// runs to `l`.
int _html_value(std::string& s, int i, int l, std::string& value);
// Reads an entity from its "&" (the ASCII letters and digits after it, and a
// ";" that ends them) and sets `code` to its replacement.
int _html_code(std::string& s, int i, int l, std::string& code);
