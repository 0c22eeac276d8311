// The NFC-e QR code version table an installation may put over the built-in one
// ($QEL_DFE_VERSOES_QR), and the QR fields read from a signed document: the same input read as
// both, then the QR text of each version and form made from what was read.

#include "ws/qrcode_nfce.h"
#include "apoio_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* dados, size_t tamanho) {
    using namespace qel;
    const QString texto = fuzz::texto(dados, tamanho);
    VersoesQrNfce versoes;
    versoes.le(texto, QStringLiteral("versoes"));
    const DocumentoQrNfce documento = leDocumentoQrNfce(texto);
    for (const int versao : {2, 3, versoes.versao(QStringLiteral("43"))}) {
        DadosQrNfce d;
        d.pagina = QStringLiteral("https://qr.exemplo/nfce");
        d.chave = texto.left(44);
        d.tpAmb = QStringLiteral("2");
        d.versao = versao;
        d.documento = documento;
        textoQrNfce(d, [](const QByteArray& t) { return QString::fromLatin1(t.toBase64()); });
    }
    return 0;
}
