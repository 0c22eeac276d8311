// Measures what "qel-dfe --assinar" does between start-up and output, in the process: the file's
// bytes read and decoded, the lines trimmed and joined, the text cleaned, the place of the
// signature found, canonicalisation, digest, RSA, the signature and KeyInfo spliced in and the
// text ready for output. Prints the median of many repetitions in milliseconds, for
// scripts/medir-assinatura.sh to set against python3-xmlsec.
//
//   bench_assinatura ARQUIVO.xml PASTA_CERTIFICADOS [REPETICOES] [SAIDA]
//
// The first certificate of the store folder signs. With BENCH_QSTRING=1 it measures instead the
// path through the QString functions (lerLinhas, assinaXml). Before measuring, both paths must
// give the same signed bytes; SAIDA receives them.

#include "sign/assinatura.h"
#include "sign/repositorio_certificados.h"
#include "util/arquivos.h"

#include <QElapsedTimer>
#include <QFile>
#include <algorithm>
#include <cstdio>
#include <vector>

using namespace Qt::StringLiterals;
using namespace qel;

namespace {

QByteArray assinaUtf8(const QString& arquivo, const ContextoAssinatura& contexto) {
    QByteArray texto = limpaParaAssinatura(lerTextoJuntoUtf8(arquivo));
    if (!localAssinatura(QByteArrayView(texto), contexto.chave, contexto.codigoMunicipio).reconhecido)
        return {};
    ResultadoAssinaturaUtf8 assinado = assinaXmlUtf8(std::move(texto), contexto);
    if (!assinado.erro.isEmpty()) return {};
    return assinado.texto.append('\n');
}

QByteArray assinaQString(const QString& arquivo, const ContextoAssinatura& contexto) {
    QString texto;
    for (const QString& linha : lerLinhas(arquivo))
        texto += linha.trimmed();
    if (!localAssinatura(limpaParaAssinatura(texto), contexto.chave, contexto.codigoMunicipio).reconhecido)
        return {};
    const ResultadoAssinatura assinado = assinaXml(texto, contexto);
    if (!assinado.erro.isEmpty()) return {};
    return assinado.texto.toUtf8().append('\n');
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "uso: %s ARQUIVO.xml PASTA_CERTIFICADOS [REPETICOES] [SAIDA]\n", argv[0]);
        return 2;
    }
    const QString arquivo = QString::fromLocal8Bit(argv[1]);
    const QList<Certificado> certificados = RepositorioCertificados(QString::fromLocal8Bit(argv[2])).lista();
    if (certificados.isEmpty()) {
        std::fprintf(stderr, "nenhum certificado em %s\n", argv[2]);
        return 2;
    }
    const int repeticoes = argc > 3 ? std::max(1, std::atoi(argv[3])) : 50;
    ContextoAssinatura contexto;
    contexto.certificado = &certificados.first();

    // Also the warm-up: the libraries are set up once per process, as in the program.
    const QByteArray utf8 = assinaUtf8(arquivo, contexto);
    if (utf8.isEmpty() || utf8 != assinaQString(arquivo, contexto)) {
        std::fprintf(stderr, "a assinatura falhou ou os dois caminhos diferem\n");
        return 1;
    }
    if (argc > 4) {
        QFile saida(QString::fromLocal8Bit(argv[4]));
        if (!saida.open(QIODevice::WriteOnly) || saida.write(utf8) != utf8.size()) return 2;
    }

    const bool porQString = qEnvironmentVariableIntValue("BENCH_QSTRING") == 1;
    std::vector<double> tempos;
    tempos.reserve(static_cast<size_t>(repeticoes));
    for (int i = 0; i < repeticoes; ++i) {
        QElapsedTimer relogio;
        relogio.start();
        const QByteArray assinado =
            porQString ? assinaQString(arquivo, contexto) : assinaUtf8(arquivo, contexto);
        tempos.push_back(static_cast<double>(relogio.nsecsElapsed()) / 1e6);
        if (assinado.size() != utf8.size()) return 1;
    }
    std::nth_element(tempos.begin(), tempos.begin() + repeticoes / 2, tempos.end());
    std::printf("%.3f\n", tempos[static_cast<size_t>(repeticoes / 2)]);
    return 0;
}
