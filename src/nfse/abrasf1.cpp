#include "nfse/abrasf1.h"

#include "nfse/xml_nfse.h"

using namespace Qt::StringLiterals;

namespace qel::nfse {

namespace {

QString t(const DialetoAbrasf1& d, const QString& nome) {
    return d.prefixoTipos.isEmpty() ? nome : d.prefixoTipos + u':' + nome;
}

QString elT(const DialetoAbrasf1& d, const QString& nome, const QString& valor) {
    return el(t(d, nome), valor);
}

QString declaracoes(const DialetoAbrasf1& d, const QString& ns) {
    QString s = u" xmlns=\""_s + ns + u'"';
    if (!d.prefixoTipos.isEmpty()) s += u" xmlns:"_s + d.prefixoTipos + u"=\""_s + d.nsTipos + u'"';
    return s;
}

QString cnpjDoDialeto(const DialetoAbrasf1& d, const QString& cnpj) {
    if (!d.cpfCnpj) return elT(d, u"Cnpj"_s, cnpj);
    return u'<' + t(d, u"CpfCnpj"_s) + u'>' + elT(d, u"Cnpj"_s, cnpj) + u"</"_s + t(d, u"CpfCnpj"_s) + u'>';
}

QString opcional(const DialetoAbrasf1& d, const QString& nome, const QString& valor) {
    return valor.trimmed().isEmpty() ? QString() : elT(d, nome, valor.trimmed());
}

} // namespace

QString numeroLoteAbrasf1(const DadosNfse& dados) {
    QString n = numeroInteiro(dados.nomeBase.right(10));
    if (n.isEmpty() || n == u"0"_s) n = numeroInteiro(dados.numeroLote);
    return n.isEmpty() || n == u"0"_s ? u"1"_s : n;
}

CorpoNfse recepcaoAbrasf1(const DialetoAbrasf1& d, const DadosNfse& dados, const AssinadorNfse& assina) {
    CorpoNfse c;
    // Every RPS of the caller's document, as it wrote them: from the first through the last.
    const QString rps = recorta(dados.documento, u"Rps"_s, true);
    if (rps.isEmpty()) {
        c.recusa = u"O documento não traz o elemento Rps do lote."_s;
        return c;
    }
    // The RPS identifier is the Id of the RPS without its first letter.
    c.chave = atributoId(rps, u"InfRps"_s).mid(1);
    const qsizetype quantidade = rps.count(u"</"_s + prefixoDe(rps, u"Rps"_s) + u"Rps>"_s);
    const QString lote = numeroLoteAbrasf1(dados);
    const QString idLote = u'L' + lote;
    const QString texto = u"<EnviarLoteRpsEnvio"_s + declaracoes(d, d.nsEnvio) + u"><LoteRps id=\""_s +
                          idLote + u"\">"_s + elT(d, u"NumeroLote"_s, lote) + cnpjDoDialeto(d, dados.cnpj) +
                          opcional(d, u"InscricaoMunicipal"_s, dados.inscricaoMunicipal) +
                          elT(d, u"QuantidadeRps"_s, QString::number(quantidade)) + u'<' +
                          t(d, u"ListaRps"_s) + u'>' + rps + u"</"_s + t(d, u"ListaRps"_s) +
                          u"></LoteRps></EnviarLoteRpsEnvio>"_s;
    // The signature closes the lot's envelope, after LoteRps.
    const std::optional<QString> assinado =
        assina(texto, {true, idLote, static_cast<qsizetype>(QStringLiteral("</EnviarLoteRpsEnvio>").size())});
    if (!assinado) {
        c.recusa = u"Erro durante a assinatura."_s;
        return c;
    }
    c.texto = *assinado;
    return c;
}

CorpoNfse consultaAbrasf1(const DialetoAbrasf1& d, const DadosNfse& dados) {
    CorpoNfse c;
    const QString prestador =
        cnpjDoDialeto(d, dados.cnpj) + opcional(d, u"InscricaoMunicipal"_s, dados.inscricaoMunicipal);
    // The message's own elements are in its namespace; what they hold is of the types'.
    c.texto = u"<ConsultarNfseRpsEnvio"_s + declaracoes(d, d.nsConsulta) + u"><IdentificacaoRps>"_s +
              elT(d, u"Numero"_s, dados.rps.numero) + elT(d, u"Serie"_s, dados.rps.serie) +
              elT(d, u"Tipo"_s, dados.rps.tipo) + u"</IdentificacaoRps><Prestador>"_s + prestador +
              u"</Prestador></ConsultarNfseRpsEnvio>"_s;
    return c;
}

CorpoNfse consultaLoteAbrasf1(const DialetoAbrasf1& d, const DadosNfse& dados) {
    CorpoNfse c;
    if (dados.protocolo.trimmed().isEmpty()) {
        c.recusa = u"O protocolo do lote não é conhecido."_s;
        return c;
    }
    c.texto = u"<ConsultarLoteRpsEnvio"_s + declaracoes(d, d.nsConsultaLote) + u"><Prestador>"_s +
              cnpjDoDialeto(d, dados.cnpj) + opcional(d, u"InscricaoMunicipal"_s, dados.inscricaoMunicipal) +
              u"</Prestador>"_s + el(u"Protocolo"_s, dados.protocolo.trimmed()) +
              u"</ConsultarLoteRpsEnvio>"_s;
    return c;
}

CorpoNfse cancelamentoAbrasf1(const DialetoAbrasf1& d, const DadosNfse& dados, const AssinadorNfse& assina) {
    CorpoNfse c;
    const QString id = u'C' + dados.cnpj + dados.numeroNfse;
    const QString codigo =
        dados.codigoCancelamento.trimmed().isEmpty() ? u"1"_s : dados.codigoCancelamento.trimmed();
    const QString texto = u"<CancelarNfseEnvio"_s + declaracoes(d, d.nsCancelamento) + u"><Pedido><"_s +
                          t(d, u"InfPedidoCancelamento"_s) + u" id=\""_s + id + u"\"><"_s +
                          t(d, u"IdentificacaoNfse"_s) + u'>' + elT(d, u"Numero"_s, dados.numeroNfse) +
                          elT(d, u"Cnpj"_s, dados.cnpj) +
                          opcional(d, u"InscricaoMunicipal"_s, dados.inscricaoMunicipal) +
                          elT(d, u"CodigoMunicipio"_s, dados.codigoMunicipio) + u"</"_s +
                          t(d, u"IdentificacaoNfse"_s) + u'>' + elT(d, u"CodigoCancelamento"_s, codigo) +
                          u"</"_s + t(d, u"InfPedidoCancelamento"_s) + u"></Pedido></CancelarNfseEnvio>"_s;
    // The signature goes into Pedido, after the request it signs.
    const std::optional<QString> assinado = assina(
        texto, {true, id, static_cast<qsizetype>(QStringLiteral("</Pedido></CancelarNfseEnvio>").size())});
    if (!assinado) {
        c.recusa = u"Erro durante a assinatura."_s;
        return c;
    }
    c.texto = *assinado;
    return c;
}

QString envelopeEscapado(const QString& operacao, const QString& ns, const QString& corpo) {
    // The body travels as text: every markup character escaped, "&" first, so what the provider
    // reads out of the text is the body exactly as it was signed.
    return u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><S:Envelope "
           "xmlns:S=\"http://schemas.xmlsoap.org/soap/envelope/\" "
           "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
           "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\"><S:Body><"_s +
           operacao + u" xmlns=\""_s + ns + u"\"><xml>"_s +
           escapa(u"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>"_s + corpo) + u"</xml></"_s + operacao +
           u"></S:Body></S:Envelope>"_s;
}

} // namespace qel::nfse
