#include "ws/envelope.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace qel {

namespace {

const QString kAbertura = u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><soap:Envelope "
                          "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
                          "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
                          "xmlns:soap=\"http://www.w3.org/2003/05/soap-envelope\">"_s;
const QString kFechamento = u"</soap:Body></soap:Envelope>"_s;

QString prefixoMensagem(TipoDocumento tipo) {
    if (tipo == TipoDocumento::CTe) return u"cte"_s;
    if (tipo == TipoDocumento::MDFe) return u"mdfe"_s;
    return u"nfe"_s;
}

} // namespace

QString envelopeSefaz(TipoDocumento tipo, const Endpoint& endpoint, const QString& cUF,
                      const QString& corpo) {
    const QString prefixo = prefixoMensagem(tipo);
    const QString ns = u" xmlns=\""_s + endpoint.namespace_ + u"\">"_s;
    QString envelope = kAbertura;
    if (endpoint.versao != u"4.00"_s)
        envelope += u"<soap:Header><"_s + prefixo + u"CabecMsg"_s + ns + u"<cUF>"_s + cUF +
                    u"</cUF><versaoDados>"_s + endpoint.versao + u"</versaoDados></"_s + prefixo +
                    u"CabecMsg></soap:Header>"_s;
    envelope += u"<soap:Body><"_s + prefixo + u"DadosMsg"_s + ns + corpo + u"</"_s + prefixo + u"DadosMsg>"_s;
    return envelope + kFechamento;
}

QString envelopeDistribuicao(const Endpoint& endpoint, const QString& corpo) {
    const QString ns = u" xmlns=\""_s + endpoint.namespace_ + u"\">"_s;
    return kAbertura + u"<soap:Body><nfeDistDFeInteresse"_s + ns + u"<nfeDadosMsg"_s + ns + corpo +
           u"</nfeDadosMsg></nfeDistDFeInteresse>"_s + kFechamento;
}

QString envelopeNddCargo(const QString& corpo) {
    return u"<?xml version=\"1.0\" encoding=\"utf-8\"?><soap12:Envelope "
           "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
           "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
           "xmlns:soap12=\"http://www.w3.org/2003/05/soap-envelope\"><soap12:Body><Send xmlns=\""_s +
           kNsSoapPadrao + u"\">"_s + corpo + u"</Send></soap12:Body></soap12:Envelope>"_s;
}

QString xmlDaResposta(const QString& corpo) {
    if (corpo.contains(u"<cStat"_s) || !corpo.contains(u"&lt;cStat"_s)) return corpo;
    static const QRegularExpression numerica(u"&#(x[0-9A-Fa-f]+|[0-9]+);"_s);
    QString saida;
    qsizetype ultimo = 0;
    for (auto it = numerica.globalMatch(corpo); it.hasNext();) {
        const auto m = it.next();
        const QString n = m.captured(1);
        bool ok = false;
        const uint codigo = n.startsWith(u'x') ? n.mid(1).toUInt(&ok, 16) : n.toUInt(&ok, 10);
        saida += corpo.mid(ultimo, m.capturedStart() - ultimo);
        if (ok && codigo > 0 && codigo <= 0x10FFFF)
            saida.append(QStringView(QChar::fromUcs4(static_cast<char32_t>(codigo))));
        else
            saida += m.captured(0);
        ultimo = m.capturedEnd();
    }
    saida += corpo.mid(ultimo);
    saida.replace(u"&lt;"_s, u"<"_s);
    saida.replace(u"&gt;"_s, u">"_s);
    saida.replace(u"&quot;"_s, u"\""_s);
    saida.replace(u"&apos;"_s, u"'"_s);
    saida.replace(u"&amp;"_s, u"&"_s);
    return saida;
}

} // namespace qel
