#include "platform/HttpTransfer.h"

#include <curl/curl.h>
#include <memory>

namespace {

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
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), &curl_easy_cleanup);
    if (!curl)
        return Failure{QStringLiteral("cannot start a transfer")};

    Receiver receiver;
    receiver.limit = maxBodyBytes;
    char error[CURL_ERROR_SIZE] = {};
    const QByteArray address = url.toUtf8();
    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_URL, address.constData());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(c, CURLOPT_TIMEOUT, long(timeoutSeconds));
    // Time-outs must not be done with signals: the program has other work.
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_USERAGENT, "Tilecast/1.2");
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &receive);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &receiver);
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error);

    const CURLcode result = curl_easy_perform(c);
    if (receiver.overflowed)
        return Failure{QStringLiteral("answer larger than %1 bytes").arg(maxBodyBytes)};
    if (result != CURLE_OK)
        return Failure{QString::fromUtf8(*error ? error : curl_easy_strerror(result))};
    HttpAnswer answer;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &answer.status);
    answer.body = std::move(receiver.body);
    return answer;
}
