#include "zov_json.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

// ====== Decoding ======

void json_ctx::begin(var v) {
    if (stack.empty()) {
        top = v;
        cur = &top;
    } else {
        cur = push(v);
    }
    stack.push_back(cur);
}

void json_ctx::end() {
    // An extra closing bracket ("[]]") reports its end with nothing open;
    // the tokenizer refuses that bracket right after.
    if (stack.empty()) return;
    stack.pop_back();
    cur = stack.empty() ? nullptr : stack.back();
}

var* json_ctx::push(var v) {
    if (!cur) return nullptr;
    switch (cur->__type__()) {
    case VAR_LIST: {
        std::vector<var>& items = static_cast<_var_list*>(cur->value)->value;
        items.push_back(v);
        return &items.back();
    }
    case VAR_DICT: {
        // Keys mostly arrive in order (our own output does), so the end of
        // the map is the hint.  A repeated key: the later value wins.
        var_dict_map& entries = static_cast<_var_dict*>(cur->value)->value;
        var& slot = entries.try_emplace(entries.end(), key)->second;
        slot = v;
        return &slot;
    }
    default: return nullptr;
    }
}

int _json_callback(void* _ctx, int type, const JSON_value* value) {
    json_ctx* ctx = static_cast<json_ctx*>(_ctx);
    switch (type) {
    case JSON_T_ARRAY_BEGIN: ctx->begin(var_list()); break;
    case JSON_T_OBJECT_BEGIN: ctx->begin(var_dict()); break;
    case JSON_T_ARRAY_END:
    case JSON_T_OBJECT_END: ctx->end(); break;
    case JSON_T_INTEGER: ctx->push(var((double)value->vu.integer_value)); break;
    case JSON_T_FLOAT: ctx->push(var(value->vu.float_value)); break;
    case JSON_T_NULL: ctx->push(var()); break;
    case JSON_T_TRUE: ctx->push(var(true)); break;
    case JSON_T_FALSE: ctx->push(var(false)); break;
    case JSON_T_STRING: ctx->push(var(std::string(value->vu.str.value, value->vu.str.length))); break;
    case JSON_T_KEY: ctx->set_key(value->vu.str.value, value->vu.str.length); break;
    }
    return 1;
}

int json_decode(var& _top, const char* data, int len) {
    json_ctx ctx(_top);
    JSON_config config;
    init_JSON_config(&config);
    config.depth = 16;
    config.allow_comments = 1;
    config.handle_floats_manually = 0;
    config.callback = _json_callback;
    config.callback_ctx = &ctx;
    JSON_parser jc = new_JSON_parser(&config);
    if (!jc) {
        std::fprintf(stderr, "json_decode: out of memory\n");
        return 1;
    }
    if (!data) len = 0;
    int result = 0;
    for (int i = 0; i < len && data[i] != 0; i++) {
        if (!JSON_parser_char(jc, (unsigned char)data[i])) {
            std::fprintf(stderr, "JSON_parser_char: syntax error, byte %d\n", i);
            result = 1;
            break;
        }
    }
    if (result == 0 && !JSON_parser_done(jc)) {
        std::fprintf(stderr, "JSON_parser_end: syntax error\n");
        result = 1;
    }
    delete_JSON_parser(jc);
    return result;
}

// ====== Encoding ======

namespace {

// The containers being written, outermost first: one met again is a cycle,
// written as null; `cycle` records it for the call's one error line.
struct open_containers {
    std::vector<const var_object*> list;
    bool cycle = false;
};

void _json_encode(const var& v, std::string& out, open_containers& open);

// JSON has no infinities or NaN: they are written as null, so the text
// stays readable.
void _json_encode_number(const var& v, std::string& out) {
    double d = v.__num__();
    out += std::isfinite(d) ? _var_number_to_str(d) : "null";
}

// Control bytes are escaped (NUL as \u0000, so a string keeps its length);
// every other byte, 128-255 included, is written as it is.
void _json_encode_string(const std::string& s, std::string& out) {
    static const char hex[] = "0123456789abcdef";
    out += '"';
    size_t plain = 0; // start of the bytes not yet written
    for (size_t i = 0; i < s.size(); i++) {
        unsigned char c = (unsigned char)s[i];
        if (c >= 0x20 && c != '"' && c != '\\') continue;
        out.append(s, plain, i - plain);
        plain = i + 1;
        switch (c) {
        case '\b': out += "\\b"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\f': out += "\\f"; break;
        case '\r': out += "\\r"; break;
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        default:
            out += "\\u00";
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    out.append(s, plain, std::string::npos);
    out += '"';
}

void _json_encode_list(const _var_list* list, std::string& out, open_containers& open) {
    out += '[';
    bool first = true;
    for (const var& item : list->value) {
        if (!first) out += ',';
        first = false;
        _json_encode(item, out, open);
    }
    out += ']';
}

void _json_encode_dict(const _var_dict* dict, std::string& out, open_containers& open) {
    out += '{';
    bool first = true;
    for (const auto& entry : dict->value) { // std::map: ascending byte order
        if (!first) out += ',';
        first = false;
        _json_encode_string(entry.first, out);
        out += ':';
        _json_encode(entry.second, out, open);
    }
    out += '}';
}

void _json_encode_bool(const var& v, std::string& out) { out += v.__bool__() ? "true" : "false"; }

void _json_encode(const var& v, std::string& out, open_containers& open) {
    int type = v.__type__();
    if (type == VAR_LIST || type == VAR_DICT) {
        if (std::find(open.list.begin(), open.list.end(), v.value) != open.list.end()) {
            open.cycle = true;
            out += "null";
            return;
        }
        open.list.push_back(v.value);
        if (type == VAR_LIST)
            _json_encode_list(static_cast<const _var_list*>(v.value), out, open);
        else
            _json_encode_dict(static_cast<const _var_dict*>(v.value), out, open);
        open.list.pop_back();
        return;
    }
    switch (type) {
    case VAR_NUMBER: _json_encode_number(v, out); break;
    case VAR_STRING: _json_encode_string(static_cast<const _var_string*>(v.value)->value, out); break;
    case VAR_BOOL: _json_encode_bool(v, out); break;
    default: out += "null";
    }
}

} // namespace

std::string json_encode(const var& v) {
    std::string out;
    open_containers open;
    _json_encode(v, out, open);
    if (open.cycle) std::fprintf(stderr, "json_encode: a container holds itself, written as null\n");
    return out;
}
