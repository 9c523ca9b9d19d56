#include "serve/http/request_headers.h"

#include <gnutls/gnutls.h>
#include <strings.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>

namespace {

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

} // namespace

int headerCount(MHD_Connection* c, const char* name) {
    struct Count {
        const char* name;
        int n;
    } count{name, 0};
    MHD_get_connection_values(
        c, MHD_HEADER_KIND,
        [](void* cls, MHD_ValueKind, const char* key, const char*) -> MHD_Result {
            auto* cnt = static_cast<Count*>(cls);
            if (strcasecmp(key, cnt->name) == 0) ++cnt->n;
            return MHD_YES;
        },
        &count);
    return count.n;
}


bool blankInAName(MHD_Connection* c) {
    bool blank = false;
    MHD_get_connection_values(
        c, MHD_HEADER_KIND,
        [](void* cls, MHD_ValueKind, const char* key, const char*) -> MHD_Result {
            if (std::strpbrk(key, " \t")) *static_cast<bool*>(cls) = true;
            return MHD_YES;
        },
        &blank);
    return blank;
}


bool certifiedClient(MHD_Connection* c) {
    const MHD_ConnectionInfo* info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_GNUTLS_SESSION);
    if (!info || !info->tls_session) return false;
    auto session = static_cast<gnutls_session_t>(info->tls_session);
    unsigned status = 0;
    return gnutls_certificate_verify_peers2(session, &status) == GNUTLS_E_SUCCESS && status == 0;
}


bool listsToken(const char* value, const std::string& token) {
    if (!value) return false;
    const std::string all = lower(value);
    for (size_t from = 0; from < all.size();) {
        const size_t comma = std::min(all.find(',', from), all.size());
        std::string item = all.substr(from, comma - from);
        from = comma + 1;
        const size_t semicolon = item.find(';');
        const std::string weight = semicolon == std::string::npos ? "" : item.substr(semicolon + 1);
        item = item.substr(0, semicolon);
        item.erase(0, item.find_first_not_of(" \t"));
        item.erase(item.find_last_not_of(" \t") + 1);
        if (item != token) continue;
        const size_t q = weight.find("q=");
        return q == std::string::npos || std::strtod(weight.c_str() + q + 2, nullptr) > 0;
    }
    return false;
}


bool gzipped(const std::string& in, std::string& out) {
    z_stream z{};
    if (deflateInit2(&z, 1, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
    out.resize(deflateBound(&z, static_cast<uLong>(in.size())) + 32);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const bool done = deflate(&z, Z_FINISH) == Z_STREAM_END;
    out.resize(z.total_out);
    deflateEnd(&z);
    return done;
}

unsigned Refusal(MHD_Connection* c, const char* version, const char* method, const char*& words) {
    if (headerCount(c, MHD_HTTP_HEADER_CONTENT_LENGTH) > 1 || blankInAName(c) ||
        (std::strcmp(version, MHD_HTTP_VERSION_1_1) == 0 && headerCount(c, MHD_HTTP_HEADER_HOST) != 1))
        return words = "Bad Request\n", MHD_HTTP_BAD_REQUEST;
    if (std::strcmp(method, MHD_HTTP_METHOD_HEAD) != 0 && std::strcmp(method, MHD_HTTP_METHOD_GET) != 0)
        return words = "Method Not Allowed\n", MHD_HTTP_METHOD_NOT_ALLOWED;
    const char* length = MHD_lookup_connection_value(c, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH);
    if ((length && std::strcmp(length, "0") != 0) || headerCount(c, MHD_HTTP_HEADER_TRANSFER_ENCODING) > 0)
        return words = "Content Too Large\n", MHD_HTTP_CONTENT_TOO_LARGE;
    return 0;
}
