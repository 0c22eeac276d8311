// The body of an authority's answer as the web-service call takes it: the XML as the authority
// wrote it (a message escaped inside the SOAP body unescaped once), and the one line the flows
// read (entities undone, accents folded, lines trimmed and joined), then its status.

#include "apoio_fuzz.h"
#include "util/arquivos.h"
#include "util/situacao.h"
#include "util/texto.h"
#include "ws/envelope.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* dados, size_t tamanho) {
    using namespace qel;
    const QString corpo = QString::fromUtf8(fuzz::bytes(dados, tamanho));
    Ultimo_cStat(xmlDaResposta(corpo));
    QString linha;
    for (const QString& parte : divideLinhas(corpo))
        linha += Remove_Acentos(Desfaz_Entidades(parte)).trimmed();
    Ultimo_cStat(linha);
    return 0;
}
