#include "ciot/crosstalk.h"

using namespace Qt::StringLiterals;

namespace qel {

namespace {

QString elemento(const QString& nome, const QString& valor) {
    return u'<' + nome + u'>' + escapaNdd(valor) + u"</"_s + nome + u'>';
}

} // namespace

QString escapaNdd(const QString& valor) {
    return valor.toHtmlEscaped();
}

QString mensagemCrossTalk(const CabecalhoCrossTalk& c) {
    QString cabecalho = elemento(u"ProcessCode"_s, c.processo) + elemento(u"MessageType"_s, c.tipoMensagem) +
                        elemento(u"ExchangePattern"_s, c.padrao);
    if (!c.sourceId.trimmed().isEmpty()) cabecalho += elemento(u"SourceId"_s, c.sourceId);
    if (c.guidSempre || !c.guid.trimmed().isEmpty()) cabecalho += elemento(u"GUID"_s, c.guid);
    cabecalho += elemento(u"DateTime"_s, c.dataHora) + elemento(u"EnterpriseId"_s, c.empresa) +
                 elemento(u"Token"_s, c.token);
    return u"<message><![CDATA[<?xml version=\"1.0\" encoding=\"utf-16\"?><CrossTalk_Message xmlns:xsd=\""_s +
           kNsXsd + u"\" xmlns:xsi=\""_s + kNsXsi + u"\" xmlns=\""_s + kNsNdd + u"\"><CrossTalk_Header>"_s +
           cabecalho + u"</CrossTalk_Header><CrossTalk_Body><CrossTalk_Version_Body versao=\""_s +
           kVersaoNdd + u"\"/></CrossTalk_Body></CrossTalk_Message>]]></message>"_s;
}

QString dadosBrutos(const QString& texto) {
    if (texto.isEmpty()) return u"<rawData/>"_s;
    QString dentro = texto;
    dentro.replace(u"]]>"_s, u"]]]]><![CDATA[>"_s);
    return u"<rawData><![CDATA["_s + dentro + u"]]></rawData>"_s;
}

} // namespace qel
