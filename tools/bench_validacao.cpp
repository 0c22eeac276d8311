// Measures, in one process, what a send costs for the schema check beside what it costs for the
// signature, on the same document: the signing of the cleaned text (canonicalisation, digest,
// RSA, the signature spliced in) and the check of the signed lot request as the web-service call
// makes it (the text to UTF-8, parsed, validated against the compiled schema). The schema is
// compiled once per run, as in the program: that first time is printed apart. Prints medians in
// milliseconds, for scripts/medir-validacao.sh.
//
//   bench_validacao ARQUIVO.xml PASTA_CERTIFICADOS PASTA_ESQUEMAS [REPETICOES]

#include "sign/assinatura.h"
#include "sign/repositorio_certificados.h"
#include "util/arquivos.h"
#include "ws/validacao_esquema.h"

#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace Qt::StringLiterals;
using namespace qel;

namespace {

double mediana(int repeticoes, const std::function<void()>& passo) {
    std::vector<double> tempos;
    for (int i = 0; i < repeticoes; ++i) {
        QElapsedTimer relogio;
        relogio.start();
        passo();
        tempos.push_back(static_cast<double>(relogio.nsecsElapsed()) / 1e6);
    }
    std::nth_element(tempos.begin(), tempos.begin() + repeticoes / 2, tempos.end());
    return tempos[static_cast<size_t>(repeticoes / 2)];
}

// The lot the program sends an NF-e in.
QString lote(const QByteArray& assinado) {
    QString documento = QString::fromUtf8(assinado);
    if (documento.startsWith(u"<?xml"_s)) documento = documento.mid(documento.indexOf(u"?>"_s) + 2);
    return u"<enviNFe xmlns=\"http://www.portalfiscal.inf.br/nfe\" versao=\"4.00\"><idLote>1</idLote>"
           "<indSinc>0</indSinc>"_s +
           documento + u"</enviNFe>"_s;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "uso: %s ARQUIVO.xml PASTA_CERTIFICADOS PASTA_ESQUEMAS [REPETICOES]\n", argv[0]);
        return 2;
    }
    const QList<Certificado> certificados = RepositorioCertificados(QString::fromLocal8Bit(argv[2])).lista();
    if (certificados.isEmpty()) {
        std::fprintf(stderr, "nenhum certificado em %s\n", argv[2]);
        return 2;
    }
    const QString esquemas = QString::fromLocal8Bit(argv[3]);
    const int repeticoes = argc > 4 ? std::max(1, std::atoi(argv[4])) : 30;
    ContextoAssinatura contexto;
    contexto.certificado = &certificados.first();
    const QByteArray limpo = limpaParaAssinatura(lerTextoJuntoUtf8(QString::fromLocal8Bit(argv[1])));

    ResultadoAssinaturaUtf8 assinado = assinaXmlUtf8(limpo, contexto);
    if (!assinado.erro.isEmpty()) {
        std::fprintf(stderr, "a assinatura falhou: %s\n", qPrintable(assinado.erro));
        return 1;
    }
    const QString pedido = lote(assinado.texto);
    QElapsedTimer primeira;
    primeira.start();
    const ResultadoEsquema r = validaEsquemaOficial(pedido.toUtf8(), esquemas);
    const double comCompilacao = static_cast<double>(primeira.nsecsElapsed()) / 1e6;
    if (r.situacao != ResultadoEsquema::Valido) {
        std::fprintf(stderr, "o pedido não passou no esquema: %s%s\n", qPrintable(r.motivo),
                     qPrintable(r.linhas().join(u'\n')));
        return 1;
    }

    const double assinatura = mediana(repeticoes, [&] {
        if (!assinaXmlUtf8(limpo, contexto).erro.isEmpty()) std::exit(1);
    });
    const double validacao = mediana(repeticoes, [&] {
        if (validaEsquemaOficial(pedido.toUtf8(), esquemas).situacao != ResultadoEsquema::Valido)
            std::exit(1);
    });
    std::printf("%.3f %.3f %.3f\n", assinatura, validacao, comCompilacao);
    return 0;
}
