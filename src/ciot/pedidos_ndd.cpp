#include "ciot/pedidos_ndd.h"

#include "ciot/crosstalk.h"
#include "util/texto.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace qel {

namespace {

const QString kDeclaracao = u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>"_s;

QString elemento(const QString& nome, const QString& valor) {
    return u'<' + nome + u'>' + escapaNdd(valor) + u"</"_s + nome + u'>';
}

// The start tag of a request the program writes: its namespaces, token and layout version.
QString abertura(const QString& raiz, const QString& token) {
    return u'<' + raiz + u" xmlns=\""_s + kNsNdd + u"\" xmlns:xsi=\""_s + kNsXsi + u"\" token=\""_s +
           escapaNdd(token) + u"\" versao=\""_s + kVersaoNdd + u"\">"_s;
}

QString requisicao(const QString& raiz, const QString& token, const QString& conteudo) {
    return kDeclaracao + abertura(raiz, token) + conteudo + u"</"_s + raiz + u'>';
}

QString autorizacao(const PedidoNdd& p) {
    return u"<autorizacao><ciot>"_s + elemento(u"numero"_s, p.ciot) +
           elemento(u"ciotCodVerificador"_s, p.codigoVerificador) + u"</ciot></autorizacao>"_s;
}

QString consultaRota(const PedidoNdd& p) {
    const QString cnpj = CnpjSemPontuacao(p.cnpj);
    QString paradas;
    for (const QString& cidade : p.cidadesRota)
        paradas += u"<pontoParada>"_s + elemento(u"codigoIBGE"_s, cidade.trimmed()) + u"</pontoParada>"_s;
    return requisicao(u"consultarRoteirizador_envio"_s, p.token,
                      u"<infConsultarRoteirizador Id=\""_s + escapaNdd(p.guid) + u"\">"_s +
                          elemento(u"cnpj"_s, cnpj) + u"<consulta>"_s + elemento(u"cnpjContratante"_s, cnpj) +
                          elemento(u"categoriaPedagio"_s, p.categoriaPedagio.trimmed()) + u"<informacoes>"_s +
                          elemento(u"tipoRotaPadrao"_s, p.tipoRota.trimmed()) + u"<pontosParada>"_s +
                          paradas + u"</pontosParada></informacoes></consulta></infConsultarRoteirizador>"_s);
}

QString pagamento(const PedidoNdd& p) {
    return requisicao(u"pagamentoImediatoOT_envio"_s, p.token,
                      u"<infPgtoOT Id=\""_s + escapaNdd(p.guid) + u"\">"_s +
                          elemento(u"cnpj"_s, CnpjSemPontuacao(p.cnpj)) + autorizacao(p) +
                          elemento(u"nomeParcela"_s, p.justificativa) +
                          elemento(u"motivo"_s, u"Pagamento de parcelas"_s) + u"</infPgtoOT>"_s);
}

QString cancelamento(const PedidoNdd& p) {
    return requisicao(u"cancelarOT_envio"_s, p.token,
                      u"<infCancOT Id=\""_s + escapaNdd(p.guid) + u"\">"_s +
                          elemento(u"cnpj"_s, CnpjSemPontuacao(p.cnpj)) + autorizacao(p) +
                          elemento(u"motivo"_s, p.justificativa) + u"</infCancOT>"_s);
}

struct Linha {
    Servico servico;
    const char16_t* processo;
    const char16_t* tipoMensagem;
    const char16_t* padrao;
    const char16_t* sourceId;
    bool comGuid;
};

// The header of each service.
constexpr Linha kLinhas[] = {
    {Servico::NDDGeraGUID, u"1004", u"100", u"1", u"", false},
    {Servico::Consultar, u"1000", u"100", u"8", u"", true},
    {Servico::Rota, u"2027", u"100", u"7", u"0", true},
    {Servico::Pagar, u"2005", u"1", u"1", u"", true},
    {Servico::Cancelar, u"1002", u"100", u"7", u"0", true},
    {Servico::Recepcao, u"1000", u"100", u"7", u"", true},
};

// The signed request, or nothing (and the failure marked) when it could not be signed.
std::optional<QString> assinado(const PedidoNdd& p, const QString& texto, CorpoNdd& c) {
    const QString resultado = p.assina ? p.assina(texto) : QString();
    if (resultado.isEmpty()) {
        c.assinaturaFalhou = true;
        return std::nullopt;
    }
    return resultado;
}

// The operation of the calling application, signed and ready for the raw data: a toll voucher
// inside its request element; a CIOT operation inside the lot.
std::optional<QString> operacao(const PedidoNdd& p, CorpoNdd& c) {
    const QString documento = semDeclaracaoXml(p.documento);
    if (ehValePedagio(documento)) {
        c.processo = processo_ndd::kValePedagio;
        const QString envio = u"<operacaoValePedagio_envio xmlns:xsd=\""_s + kNsXsd + u"\" xmlns:xsi=\""_s +
                              kNsXsi + u"\" xmlns=\""_s + kNsNdd + u"\" token=\""_s + escapaNdd(p.token) +
                              u"\" versao=\""_s + kVersaoNdd + u"\">"_s + documento +
                              u"</operacaoValePedagio_envio>"_s;
        const std::optional<QString> texto = assinado(p, envio, c);
        if (!texto) return std::nullopt;
        return semDeclaracaoXml(*texto);
    }
    const std::optional<QString> texto = assinado(p, comNamespacesNdd(documento), c);
    if (!texto) return std::nullopt;
    return abertura(u"loteOT_envio"_s, p.token) + u"<operacoes>"_s + semDeclaracaoXml(*texto) +
           u"</operacoes></loteOT_envio>"_s;
}

// The end of the start tag that begins at `inicio` ("<"), quoted values skipped; -1 when open.
qsizetype fimDaAbertura(const QString& texto, qsizetype inicio) {
    QChar aspas;
    for (qsizetype i = inicio + 1; i < texto.size(); ++i) {
        const QChar c = texto.at(i);
        if (!aspas.isNull()) {
            if (c == aspas) aspas = QChar();
        } else if (c == u'"' || c == u'\'') {
            aspas = c;
        } else if (c == u'>') {
            return i;
        }
    }
    return -1;
}

} // namespace

bool ehValePedagio(const QString& documento) {
    return documento.contains(u"infOperacaoValePedagio"_s);
}

QString semDeclaracaoXml(const QString& texto) {
    static const QRegularExpression declaracao(u"<\\?xml\\s[^>]*\\?>"_s);
    QString limpo = texto;
    if (limpo.startsWith(QChar(0xFEFF))) limpo.remove(0, 1);
    return limpo.remove(declaracao);
}

QString comNamespacesNdd(const QString& documento) {
    // The root: the first element, past any declaration, comment or processing instruction.
    qsizetype inicio = -1;
    for (qsizetype i = documento.indexOf(u'<'); i >= 0; i = documento.indexOf(u'<', i + 1)) {
        const QChar seguinte = i + 1 < documento.size() ? documento.at(i + 1) : QChar();
        if (seguinte != u'?' && seguinte != u'!') {
            inicio = i;
            break;
        }
    }
    if (inicio < 0) return documento;
    const qsizetype fim = fimDaAbertura(documento, inicio);
    if (fim < 0) return documento;
    const QString abertura = documento.mid(inicio, fim - inicio);
    const auto declara = [&](const QString& atributo) {
        return QRegularExpression(u"\\s"_s + QRegularExpression::escape(atributo) + u"\\s*="_s)
            .match(abertura)
            .hasMatch();
    };
    QString novas;
    if (!declara(u"xmlns:xsd"_s)) novas += u" xmlns:xsd=\""_s + kNsXsd + u'"';
    if (!declara(u"xmlns:xsi"_s)) novas += u" xmlns:xsi=\""_s + kNsXsi + u'"';
    if (!declara(u"xmlns"_s)) novas += u" xmlns=\""_s + kNsNdd + u'"';
    if (novas.isEmpty()) return documento;
    qsizetype nome = inicio + 1;
    while (nome < fim && !documento.at(nome).isSpace() && documento.at(nome) != u'/')
        ++nome;
    QString resultado = documento;
    return resultado.insert(nome, novas);
}

CorpoNdd constroiCorpoNdd(const PedidoNdd& p) {
    CorpoNdd c;
    const Linha* linha = nullptr;
    for (const Linha& l : kLinhas)
        if (l.servico == p.servico) linha = &l;
    if (!linha) return c;
    CabecalhoCrossTalk cabecalho;
    cabecalho.processo = QString::fromUtf16(linha->processo);
    cabecalho.tipoMensagem = QString::fromUtf16(linha->tipoMensagem);
    cabecalho.padrao = QString::fromUtf16(linha->padrao);
    cabecalho.sourceId = QString::fromUtf16(linha->sourceId);
    if (linha->comGuid) cabecalho.guid = p.guid;
    cabecalho.guidSempre = p.servico == Servico::Recepcao;
    cabecalho.dataHora = p.dataHora;
    cabecalho.empresa = CnpjSemPontuacao(p.cnpj);
    cabecalho.token = p.token;

    std::optional<QString> negocio;
    switch (p.servico) {
    case Servico::Rota:
        negocio = assinado(p, consultaRota(p), c);
        break;
    case Servico::Pagar:
        negocio = assinado(p, pagamento(p), c);
        break;
    case Servico::Cancelar:
        negocio = assinado(p, cancelamento(p), c);
        break;
    case Servico::Recepcao:
        cabecalho.processo = processo_ndd::kOperacao;
        negocio = operacao(p, c);
        if (!c.processo.isEmpty()) cabecalho.processo = c.processo;
        break;
    default:
        break;
    }
    c.processo = cabecalho.processo;
    if (c.assinaturaFalhou) return c;
    c.documento = negocio;
    c.corpo = mensagemCrossTalk(cabecalho) + dadosBrutos(negocio.value_or(QString()));
    return c;
}

} // namespace qel
