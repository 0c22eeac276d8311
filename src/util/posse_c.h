#pragma once

// Ownership of the handles the C libraries hand out (OpenSSL, libxml2, xmlsec, libcurl): a
// unique_ptr whose deleter is the library's own release function, so that no error path has to
// remember a free. Used as Posse<X509, X509_free>; a release that is a macro or a function
// variable (OPENSSL_free, xmlFree) is wrapped in a small function where it is used.

#include <memory>

namespace qel {

template <auto Libera> struct Liberador {
    template <typename T> void operator()(T* p) const noexcept {
        if (p) Libera(p);
    }
};

template <typename T, auto Libera> using Posse = std::unique_ptr<T, Liberador<Libera>>;

// Takes over a handle just returned by a library call.
template <auto Libera, typename T> Posse<T, Libera> possui(T* p) {
    return Posse<T, Libera>(p);
}

} // namespace qel
