#include "nfse/nota.h"

#include "nfse/provedor.h"
#include "nfse/xml_nfse.h"
#include "util/texto.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace qel {

QString chaveNfse(const QString& cUF, const QString& data, const QDate& hoje, const QString& cnpj,
                  const QString& numeroRps) {
    static const QRegularExpression anoMes(u"^\\s*\\d{2}(\\d{2})-(\\d{2})"_s);
    const QRegularExpressionMatch m = anoMes.match(data);
    const QString periodo = m.hasMatch() ? m.captured(1) + m.captured(2) : hoje.toString(u"yyMM"_s);
    QString empresa = CnpjSemPontuacao(cnpj);
    if (empresa.size() < 14) empresa = empresa.rightJustified(14, u'0');
    const QString rps = nfse::numeroInteiro(numeroRps).rightJustified(9, u'0').right(9);
    return cUF.trimmed().left(2) + periodo + empresa.left(14) + u"NS000"_s + rps + rps + u'X';
}

QString numeroNota(const QString& numeroNfse, bool elementoNumero) {
    if (elementoNumero) return nfse::el(u"Numero"_s, numeroNfse.trimmed());
    return nfse::numeroInteiro(numeroNfse).rightJustified(9, u'0');
}

QString montaNfseProc(const QString& loteAssinado, const RespostaNfse& recepcao, const RespostaNfse& nota,
                      const QString& numero, Ambiente ambiente) {
    using nfse::el;
    // The number goes as it was made: an element (Tecnos) or digits, which are escaped as text.
    const QString numeroNota = numero.startsWith(u'<') ? numero : nfse::escapa(numero);
    return u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><nfseProc xmlns=\""_s + kNsAbrasf1 +
           u"\" versao=\"1.00\">"_s + loteAssinado + u"<protNfse versao=\"1.00\"><infProt Id=\""_s +
           nfse::escapa(recepcao.protocolo) + u"\">"_s + el(u"tpAmb"_s, codigo(ambiente)) +
           el(u"NumeroLote"_s, recepcao.numeroLote) + el(u"DataRecebimento"_s, recepcao.dataRecebimento) +
           el(u"Protocolo"_s, recepcao.protocolo) + el(u"CodigoVerificacao"_s, nota.codigoVerificacao) +
           u"<NumeroNota>"_s + numeroNota + u"</NumeroNota></infProt></protNfse></nfseProc>"_s;
}

QString montaCancelamentoNfse(const QString& pedidoAssinado, const RespostaNfse& resposta) {
    return u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><procCancelamentoNfse versao=\"1.00\">"_s +
           pedidoAssinado + resposta.documento + u"</procCancelamentoNfse>"_s;
}

} // namespace qel
