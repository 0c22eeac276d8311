// The body of an authority's answer as the web-service call takes it: decoded as the server wrote
// it (byte-order mark, UTF-8, declared encoding or Windows-1252), the XML as the authority wrote
// it (a message escaped inside the SOAP body unescaped once), and the one line the flows read
// (comments dropped, CDATA text kept as references, entities undone, accents folded, lines
// trimmed and joined), then its status.

#include "apoio_fuzz.h"
#include "util/arquivos.h"
#include "util/situacao.h"
#include "util/texto.h"
#include "ws/envelope.h"
#include "ws/transporte.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* dados, size_t tamanho) {
    using namespace qel;
    const QString texto = textoDaResposta(fuzz::bytes(dados, tamanho));
    Ultimo_cStat(xmlDaResposta(texto));
    // The NFS-e and NDD Cargo answers are read as written, the tax authorities' ones cleaned.
    for (const QString& lida : {texto, semComentariosNemCdata(texto)}) {
        QString linha;
        for (const QString& parte : divideLinhas(lida))
            linha += Remove_Acentos(Desfaz_Entidades(parte)).trimmed();
        Ultimo_cStat(linha);
    }
    return 0;
}
