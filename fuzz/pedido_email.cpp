// The e-mail request file ("<document>.EML") the calling application writes beside a document:
// read from disk, interpreted, and made into the message that would go out.

#include "apoio_fuzz.h"
#include "flows/email.h"
#include "util/arquivos.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* dados, size_t tamanho) {
    using namespace qel;
    const QStringList linhas =
        lerLinhas(fuzz::grava(QStringLiteral("NFe1.EML"), fuzz::bytes(dados, tamanho)));
    const PedidoEmail pedido = interpretaPedidoEmail(linhas);
    pedido.destinatarios();
    DocumentoEmail documento;
    documento.chave = QStringLiteral("35250311222333000181550010000000011000000010");
    documento.tarefa = QStringLiteral("RECEPCAO");
    documento.tipo = TipoDocumento::NFe;
    documento.xml = fuzz::pasta() + QStringLiteral("nao-existe.xml");
    preparaEmail(pedido, documento, ConfiguracaoRede{}, QDateTime(QDate(2025, 3, 20), QTime(10, 0), Qt::UTC));
    return 0;
}
