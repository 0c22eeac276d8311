#include "app/importacao_certificado.h"

#include "sign/repositorio_certificados.h"

#include <cstdio>
#include <termios.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace qel {

namespace {

QByteArray leSenha() {
    const bool terminal = isatty(STDIN_FILENO);
    termios antes{};
    if (terminal) {
        std::fputs("Senha do certificado: ", stderr);
        std::fflush(stderr);
        tcgetattr(STDIN_FILENO, &antes);
        termios semEco = antes;
        semEco.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &semEco);
    }
    QByteArray senha;
    for (int c = std::getchar(); c != EOF && c != '\n'; c = std::getchar())
        senha.append(static_cast<char>(c));
    if (senha.endsWith('\r')) senha.chop(1);
    if (terminal) {
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &antes);
        std::fputs("\n", stderr);
    }
    return senha;
}

} // namespace

int importaCertificado(const QString& arquivo, const Relogio& relogio) {
    if (arquivo.isEmpty()) {
        std::fputs("uso: qel-dfe --importar-certificado ARQUIVO.pfx (a senha é lida da entrada padrão)\n",
                   stderr);
        return 1;
    }
    QByteArray senha = leSenha();
    const RepositorioCertificados repositorio;
    Certificado importado;
    const QString erro = repositorio.importa(arquivo, senha, relogio(), &importado);
    senha.fill('\0');
    if (!erro.isEmpty()) {
        std::fputs((erro + u'\n').toUtf8().constData(), stderr);
        return 1;
    }
    const QString texto = u"Certificado importado: "_s + importado.nomeSujeito() + u"\nValido de "_s +
                          importado.validoDe().toLocalTime().toString(u"dd/MM/yyyy"_s) + u" até "_s +
                          importado.validoAte().toLocalTime().toString(u"dd/MM/yyyy"_s) +
                          u"\nRepositório: "_s + repositorio.pasta() + u'\n';
    std::fputs(texto.toUtf8().constData(), stdout);
    return 0;
}

} // namespace qel
