// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/HttpTransfer.h"

// The type checks of curl's header wrap curl_easy_setopt in a macro; the
// calls here go through a loaded function pointer instead.
#define CURL_DISABLE_TYPECHECK
#include <curl/curl.h>
#include <dlfcn.h>
#include <memory>

namespace {

// libcurl and the TLS and Kerberos libraries under it are loaded at the first
// transfer rather than at program start: they would cost every start several
// milliseconds and megabytes, and a build whose update host never resolves
// never makes a transfer.
struct Curl
{
    decltype(&curl_easy_init) init = nullptr;
    decltype(&curl_easy_setopt) setopt = nullptr;
    decltype(&curl_easy_perform) perform = nullptr;
    decltype(&curl_easy_getinfo) getinfo = nullptr;
    decltype(&curl_easy_cleanup) cleanup = nullptr;
    decltype(&curl_easy_strerror) strerror = nullptr;
};

template <typename F>
void bind(void* library, const char* name, F& function)
{
    function = reinterpret_cast<F>(::dlsym(library, name));
}

const Curl* curl()
{
    static const Curl* loaded = []() -> const Curl* {
        void* library = ::dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
        if (!library)
            return nullptr;
        static Curl c;
        bind(library, "curl_easy_init", c.init);
        bind(library, "curl_easy_setopt", c.setopt);
        bind(library, "curl_easy_perform", c.perform);
        bind(library, "curl_easy_getinfo", c.getinfo);
        bind(library, "curl_easy_cleanup", c.cleanup);
        bind(library, "curl_easy_strerror", c.strerror);
        const bool complete = c.init && c.setopt && c.perform && c.getinfo && c.cleanup && c.strerror;
        return complete ? &c : nullptr;
    }();
    return loaded;
}

struct Receiver
{
    QByteArray body;
    qsizetype limit = 0;
    bool overflowed = false;
};

size_t receive(char* data, size_t size, size_t count, void* user)
{
    auto* receiver = static_cast<Receiver*>(user);
    const size_t bytes = size * count;
    if (receiver->body.size() + qsizetype(bytes) > receiver->limit) {
        receiver->overflowed = true;
        return 0; // stops the transfer
    }
    receiver->body.append(data, qsizetype(bytes));
    return bytes;
}

} // namespace

Outcome<HttpAnswer> httpGet(const QString& url, int timeoutSeconds, qsizetype maxBodyBytes)
{
    const Curl* lib = curl();
    if (!lib)
        return Failure{QStringLiteral("libcurl cannot be loaded: ") + QString::fromLocal8Bit(::dlerror())};
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> handle(lib->init(), lib->cleanup);
    if (!handle)
        return Failure{QStringLiteral("cannot start a transfer")};

    Receiver receiver;
    receiver.limit = maxBodyBytes;
    char error[CURL_ERROR_SIZE] = {};
    const QByteArray address = url.toUtf8();
    CURL* c = handle.get();
    lib->setopt(c, CURLOPT_URL, address.constData());
    lib->setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    lib->setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    lib->setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    lib->setopt(c, CURLOPT_MAXREDIRS, 5L);
    lib->setopt(c, CURLOPT_TIMEOUT, long(timeoutSeconds));
    // Time-outs must not be done with signals: the program has other work.
    lib->setopt(c, CURLOPT_NOSIGNAL, 1L);
    lib->setopt(c, CURLOPT_USERAGENT, "Tilecast/1.2");
    lib->setopt(c, CURLOPT_WRITEFUNCTION, &receive);
    lib->setopt(c, CURLOPT_WRITEDATA, &receiver);
    lib->setopt(c, CURLOPT_ERRORBUFFER, error);

    const CURLcode result = lib->perform(c);
    if (receiver.overflowed)
        return Failure{QStringLiteral("answer larger than %1 bytes").arg(maxBodyBytes)};
    if (result != CURLE_OK)
        return Failure{QString::fromUtf8(*error ? error : lib->strerror(result))};
    HttpAnswer answer;
    lib->getinfo(c, CURLINFO_RESPONSE_CODE, &answer.status);
    answer.body = std::move(receiver.body);
    return answer;
}
