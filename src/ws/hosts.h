#pragma once

// Host names of the web services by role and environment: built-in defaults, a file that
// overrides them, and one host:port that takes every request (a local simulator).

#include <QString>

namespace qel {

// The host of a role in an environment ("1" production, "2" homologation); empty when the role
// has none there. Never the production host for a homologation run.
QString hostDoPapel(const QString& papel, const QString& ambiente);

// scheme://host[:port]path, with $QEL_DFE_HOST (host:port) in place of host and port when set.
// Empty when the role has no host in that environment.
QString montaEndereco(const QString& esquema, const QString& papel, const QString& ambiente, int porta,
                      const QString& caminho);

} // namespace qel
