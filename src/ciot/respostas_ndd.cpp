#include "ciot/respostas_ndd.h"

#include "ciot/crosstalk.h"
#include "util/posicoes.h"
#include "util/texto.h"

#include <QRegularExpression>
#include <libxml/parser.h>
#include <libxml/tree.h>

using namespace Qt::StringLiterals;

namespace qel {

namespace {

// Where the first element of the name starts ("<name" followed by ">", "/" or a blank), or -1.
qsizetype inicioElemento(const QString& texto, const QString& nome, qsizetype desde = 0) {
    const QString abre = u'<' + nome;
    for (qsizetype p = texto.indexOf(abre, desde); p >= 0; p = texto.indexOf(abre, p + 1)) {
        const qsizetype depois = p + abre.size();
        if (depois >= texto.size()) return -1;
        const QChar c = texto.at(depois);
        if (c == u'>' || c == u'/' || c.isSpace()) return p;
    }
    return -1;
}

// The inside of the first element of the name; empty when absent or empty.
QString conteudo(const QString& texto, const QString& nome) {
    const qsizetype inicio = inicioElemento(texto, nome);
    if (inicio < 0) return {};
    const qsizetype abertura = texto.indexOf(u'>', inicio);
    if (abertura < 0 || texto.at(abertura - 1) == u'/') return {};
    const qsizetype fim = texto.indexOf(u"</"_s + nome + u'>', abertura);
    return fim < 0 ? QString() : texto.mid(abertura + 1, fim - abertura - 1);
}

// The first whole element of the name, start tag to closing tag; empty when absent.
QString elementoInteiro(const QString& texto, const QString& nome) {
    const qsizetype inicio = inicioElemento(texto, nome);
    if (inicio < 0) return {};
    const qsizetype abertura = texto.indexOf(u'>', inicio);
    if (abertura < 0) return {};
    if (texto.at(abertura - 1) == u'/') return texto.mid(inicio, abertura + 1 - inicio);
    const QString fecha = u"</"_s + nome + u'>';
    const qsizetype fim = texto.indexOf(fecha, abertura);
    return fim < 0 ? QString() : texto.mid(inicio, fim + fecha.size() - inicio);
}

const xmlNode* procuraLocal(const xmlNode* no, const char* nome) {
    for (; no; no = no->next) {
        if (no->type != XML_ELEMENT_NODE) continue;
        if (xmlStrcmp(no->name, BAD_CAST nome) == 0) return no;
        if (const xmlNode* achado = procuraLocal(no->children, nome)) return achado;
    }
    return nullptr;
}

QString raiz(const QString& nome) {
    return u'<' + nome + u" xmlns:xsd=\""_s + kNsXsd + u"\" xmlns:xsi=\""_s + kNsXsi + u"\" xmlns=\""_s +
           kNsNdd + u"\">"_s;
}

// Digits of a value, in a field of `largura` (zeros on the left, the last digits kept).
QString campo(const QString& valor, qsizetype largura) {
    return Somente_Numeros(valor, QString(), largura);
}

} // namespace

QString crossTalkDaResposta(const QString& corpo) {
    const QByteArray bytes = corpo.toUtf8();
    xmlDocPtr doc = xmlReadMemory(bytes.constData(), static_cast<int>(bytes.size()), "resposta.xml", "UTF-8",
                                  XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (!doc) return corpo;
    QString texto = corpo;
    if (const xmlNode* resultado = procuraLocal(xmlDocGetRootElement(doc), "SendResult")) {
        xmlChar* valor = xmlNodeGetContent(resultado);
        texto = QString::fromUtf8(reinterpret_cast<const char*>(valor));
        xmlFree(valor);
    }
    xmlFreeDoc(doc);
    return texto;
}

bool temResultado(const QString& resposta) {
    return resposta.contains(u"<codigo>"_s);
}

bool temRota(const QString& resposta) {
    return resposta.contains(u"<totalKm>"_s);
}

bool mensagemRecusada(const QString& resposta) {
    static const QRegularExpression recusa(u"<ResponseCode>\\s*[45]\\d\\d\\s*</ResponseCode>"_s);
    return recusa.match(resposta).hasMatch();
}

bool guidRecusado(const QString& resposta) {
    static const QRegularExpression recusa(u"<ResponseCode>\\s*4\\d\\d\\s*</ResponseCode>"_s);
    return recusa.match(resposta).hasMatch();
}

bool falhaRecepcao(const QString& resposta) {
    static const QRegularExpression falha(u"<codigo>\\s*[2-6]"_s);
    return falha.match(resposta).hasMatch() || mensagemRecusada(resposta);
}

bool falhaOperacao(const QString& resposta) {
    static const QRegularExpression falha(u"<codigo>\\s*[2-6]"_s);
    static const QRegularExpression jaFeito(u"<codigo>\\s*205"_s);
    return (falha.match(resposta).hasMatch() && !jaFeito.match(resposta).hasMatch()) ||
           mensagemRecusada(resposta);
}

QString guidDaResposta(const QString& resposta) {
    static const QRegularExpression guid(u"<GUID>([^<]*)</GUID>"_s);
    // It goes into the signed request as an Id and names the journal file: nothing else passes.
    static const QRegularExpression forma(u"^[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}$"_s,
                                          QRegularExpression::CaseInsensitiveOption);
    QString ultimo;
    for (auto it = guid.globalMatch(resposta); it.hasNext();)
        ultimo = it.next().captured(1).trimmed();
    return forma.match(ultimo).hasMatch() ? ultimo : QString();
}

QString valorNdd(const QString& texto, const QString& nome, const QString& dentroDe) {
    const QString onde = dentroDe.isEmpty() ? texto : conteudo(texto, dentroDe);
    return conteudo(onde, nome).trimmed();
}

QString chaveOperacaoNdd(const ChaveOperacaoNdd& d, const QString& resposta) {
    const QString cnpj = CnpjSemPontuacao(d.cnpj).right(14).rightJustified(14, u'0');
    const QString arquivo = campo(d.nomeBase.right(10), 9);
    const QString esteMes = d.hoje.toString(u"yyMM"_s);
    if (d.valePedagio) return u"43"_s + esteMes + cnpj + u"TG000"_s + arquivo + arquivo + u'X';

    const QString data = valorNdd(resposta, u"dataEmissao"_s, u"ide"_s);
    static const QRegularExpression anoMes(u"^\\d{4}-(0[1-9]|1[0-2])"_s);
    // An answer without its date of emission is filed under this month, never under "0000".
    const QString periodo = anoMes.match(data).hasMatch() ? Copia(data, 3, 2) + Copia(data, 6, 2) : esteMes;
    return campo(d.cUF, 2) + periodo + cnpj + u"DT"_s + campo(valorNdd(resposta, u"serie"_s, u"ide"_s), 3) +
           campo(valorNdd(resposta, u"numero"_s, u"ide"_s), 9) + arquivo + u'X';
}

QString montaCiotProc(const QString& pedido, const QString& resposta) {
    return raiz(u"ciotProc"_s) + pedido + u"<autorizacao>"_s + conteudo(resposta, u"ide"_s) +
           conteudo(resposta, u"autorizacao"_s) + u"</autorizacao></ciotProc>"_s;
}

QString montaTagProc(const QString& pedido, const QString& resposta) {
    return raiz(u"tagProc"_s) + pedido + u"<autorizacao>"_s + conteudo(resposta, u"CrossTalk_Header"_s) +
           u"</autorizacao>"_s + elementoInteiro(resposta, u"retOperacaoValePedagio"_s) + u"</tagProc>"_s;
}

} // namespace qel
