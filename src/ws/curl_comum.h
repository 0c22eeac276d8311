#pragma once

// What the HTTPS and SMTP exchanges share over libcurl: owned handles, header lists, and the
// verification of the server (TLS 1.2 or newer, the system's authorities and the installation's).

#include "util/posse_c.h"

#include <QByteArray>
#include <QString>
#include <curl/curl.h>

namespace qel {

using Curl = Posse<CURL, curl_easy_cleanup>;
using ListaCurl = Posse<curl_slist, curl_slist_free_all>;

// libcurl's process-wide set-up, once.
void iniciaCurl();

// Adds a line to a list; false when the list could not grow. The list stays owned either way.
bool acrescenta(ListaCurl& lista, const QByteArray& linha);

// The server is always verified, with TLS 1.2 or newer: against the system's hashed folder of
// authorities, which OpenSSL reads only for the issuer it needs (parsing the whole bundle file
// would cost more than a status query), and the authorities of a PEM file or folder the
// installation adds (the ICP-Brasil roots, a local simulator's CA). Where the system has no hashed
// folder, its bundle file comes along in memory.
void verificaServidor(CURL* curl, const QString& autoridadesExtras);

} // namespace qel
