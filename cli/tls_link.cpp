#include "tls_link.h"

#include "platform/tls_client.h"
#include "tool_link.h"

bool UseLinkTls(const CliOptions& o) {
    std::string why;
    if (o.tlsCert.empty() || UseTlsForTcp({o.tlsCert, o.tlsKey, o.tlsCa}, why)) return true;
    Say(why);
    return false;
}
