#include "ws/validacao_esquema.h"

#include "ws/elementos_esquema.h"
#include "ws/falhas_esquema.h"
#include "ws/tabela_esquemas.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QStandardPaths>
#include <libxml/parser.h>
#include <libxml/xmlIO.h>
#include <libxml/xmlschemas.h>
#include <memory>
#include <optional>

using namespace Qt::StringLiterals;

namespace qel {

namespace {

struct LiberaEsquema {
    void operator()(xmlSchemaPtr e) const { xmlSchemaFree(e); }
};
struct LiberaDocumento {
    void operator()(xmlDocPtr d) const { xmlFreeDoc(d); }
};
struct LiberaValidador {
    void operator()(xmlSchemaValidCtxtPtr v) const { xmlSchemaFreeValidCtxt(v); }
};
using DocXml = std::unique_ptr<xmlDoc, LiberaDocumento>;

struct Compilado {
    std::shared_ptr<xmlSchema> esquema;
    QString erro;
    QString arquivo;
};

QString texto(const xmlChar* s) {
    return s ? QString::fromUtf8(reinterpret_cast<const char*>(s)) : QString();
}

void guardaMensagem(void* destino, const xmlError* erro) {
    if (erro && erro->message && static_cast<QString*>(destino)->isEmpty())
        *static_cast<QString*>(destino) = QString::fromUtf8(erro->message).trimmed();
}

// Compiling leiauteNFe takes longer than validating a large NF-e: each schema file is compiled
// once per run, and a file that cannot be read is not tried again.
const Compilado& compila(const QString& arquivo) {
    static QHash<QString, Compilado> cache;
    auto it = cache.find(arquivo);
    if (it != cache.end()) return *it;
    Compilado c;
    c.arquivo = arquivo;
    // A package's includes are files of its folder: one that names a web address is not fetched
    // (a run would wait on a network it must not need).
    const xmlExternalEntityLoader carregador = xmlGetExternalEntityLoader();
    xmlSetExternalEntityLoader(xmlNoNetExternalEntityLoader);
    xmlSchemaParserCtxtPtr leitor = xmlSchemaNewParserCtxt(QFile::encodeName(arquivo).constData());
    if (leitor) {
        xmlSchemaSetParserStructuredErrors(
            leitor, [](void* d, xmlErrorPtr e) { guardaMensagem(d, e); }, &c.erro);
        c.esquema.reset(xmlSchemaParse(leitor), LiberaEsquema{});
        xmlSchemaFreeParserCtxt(leitor);
    }
    xmlSetExternalEntityLoader(carregador);
    if (!c.esquema && c.erro.isEmpty()) c.erro = u"esquema ilegível"_s;
    if (c.esquema) c.erro.clear();
    return *cache.insert(arquivo, c);
}

DocXml le(const QByteArray& xml, QString& erro) {
    xmlParserCtxtPtr leitor = xmlNewParserCtxt();
    if (!leitor) return nullptr;
    // No network and no entity expansion: the text is checked, not resolved.
    DocXml doc(xmlCtxtReadMemory(leitor, xml.constData(), static_cast<int>(xml.size()), "documento.xml",
                                 "UTF-8", XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
    if (!doc) {
        const xmlError* e = xmlCtxtGetLastError(leitor);
        erro = e && e->message ? QString::fromUtf8(e->message).trimmed() : u"texto ilegível"_s;
        if (e) erro = u"linha "_s + QString::number(e->line) + u": "_s + erro;
    }
    xmlFreeParserCtxt(leitor);
    return doc;
}

QString atributo(xmlNodePtr no, const char* nome) {
    xmlChar* v = xmlGetProp(no, reinterpret_cast<const xmlChar*>(nome));
    const QString r = texto(v);
    xmlFree(v);
    return r;
}

QString conteudo(xmlNodePtr no) {
    if (!no) return {};
    xmlChar* v = xmlNodeGetContent(no);
    const QString r = texto(v);
    xmlFree(v);
    return r;
}

xmlNodePtr primeiroFilho(xmlNodePtr no) {
    for (xmlNodePtr f = no ? no->children : nullptr; f; f = f->next)
        if (f->type == XML_ELEMENT_NODE) return f;
    return nullptr;
}

bool chamado(xmlNodePtr no, const char* nome) {
    return no && no->type == XML_ELEMENT_NODE &&
           xmlStrcmp(no->name, reinterpret_cast<const xmlChar*>(nome)) == 0;
}

// The first element of the name below no, at most a few levels down (the event's tpEvento and
// detEvento are in infEvento, itself inside evento in a lot).
xmlNodePtr procura(xmlNodePtr no, const char* nome, int niveis) {
    for (xmlNodePtr f = no ? no->children : nullptr; f; f = f->next) {
        if (f->type != XML_ELEMENT_NODE) continue;
        if (chamado(f, nome)) return f;
        if (niveis > 1)
            if (xmlNodePtr achado = procura(f, nome, niveis - 1)) return achado;
    }
    return nullptr;
}

// "det[3]" where the element has siblings of its name, "prod" where it is alone.
QString passo(xmlNodePtr no) {
    int antes = 0;
    int total = 0;
    const xmlNode* pai = no->parent;
    for (xmlNodePtr irmao = pai ? pai->children : no; irmao; irmao = irmao->next) {
        if (irmao->type != XML_ELEMENT_NODE || xmlStrcmp(irmao->name, no->name) != 0) continue;
        ++total;
        if (irmao == no) antes = total;
    }
    return texto(no->name) + (total > 1 ? u'[' + QString::number(antes) + u']' : QString());
}

QString caminho(xmlNodePtr no, const QString& mostraDe) {
    QStringList partes;
    if (no && no->type == XML_ATTRIBUTE_NODE) {
        partes.prepend(u'@' + texto(no->name));
        no = no->parent;
    }
    for (; no && no->type == XML_ELEMENT_NODE; no = no->parent)
        partes.prepend(passo(no));
    if (!mostraDe.isEmpty())
        for (qsizetype i = 0; i < partes.size(); ++i)
            if (partes[i] == mostraDe || partes[i].startsWith(mostraDe + u'[')) {
                partes = partes.mid(i);
                break;
            }
    return u'/' + partes.join(u'/');
}

// Whether the element or one of its later siblings bears one of the names.
bool vemDepois(xmlNodePtr no, const QStringList& nomes) {
    for (xmlNodePtr irmao = no; irmao; irmao = irmao->next)
        if (irmao->type == XML_ELEMENT_NODE && nomes.contains(texto(irmao->name))) return true;
    return false;
}

struct Coleta {
    QList<FalhaEsquema> falhas;
    QString mostraDe;
    xmlNodePtr ultimoNo = nullptr;
    QString esquema; // the file being validated against
};

void anotaFalha(void* destino, const xmlError* erro) {
    if (!erro || !erro->message) return;
    Coleta& coleta = *static_cast<Coleta*>(destino);
    auto* no = static_cast<xmlNodePtr>(erro->node);
    const TextoFalha t = textoDaFalha(QString::fromUtf8(erro->message));
    // The validator explains a value by its facet, then says again that it is not of its type.
    if (t.repeteValor && no && no == coleta.ultimoNo) return;
    coleta.ultimoNo = no;
    QString linha = t.texto;
    if (t.inesperado && no && no->type == XML_ELEMENT_NODE) {
        // An element the package does not declare anywhere: a misspelt name, or a group of a
        // layout newer than the installed package. Nothing is missing before it.
        if (!elementosDeclarados(coleta.esquema).contains(texto(no->name))) {
            linha.replace(u"elemento não esperado aqui"_s, u"elemento que o esquema instalado não prevê"_s);
        } else if (!t.esperados.isEmpty() && no->parent && no->parent->type == XML_ELEMENT_NODE &&
                   !vemDepois(no, t.esperados)) {
            // A known element where another was required, and none of the expected ones comes
            // later: the expected one is missing, and that is what the user has to mend.
            coleta.falhas.append({caminho(no->parent, coleta.mostraDe), textoDaFalta(t.esperados)});
            return;
        }
    }
    coleta.falhas.append(
        {no ? caminho(no, coleta.mostraDe) : u"linha "_s + QString::number(erro->line), linha});
}

// Validates the whole document (elemento null) or one element of it against a compiled schema.
bool valida(const Compilado& c, xmlDocPtr doc, xmlNodePtr elemento, Coleta& coleta) {
    std::unique_ptr<xmlSchemaValidCtxt, LiberaValidador> validador(xmlSchemaNewValidCtxt(c.esquema.get()));
    if (!validador) return false;
    coleta.esquema = c.arquivo;
    xmlSchemaSetValidStructuredErrors(
        validador.get(), [](void* d, xmlErrorPtr e) { anotaFalha(d, e); }, &coleta);
    const int r = elemento ? xmlSchemaValidateOneElement(validador.get(), elemento)
                           : xmlSchemaValidateDoc(validador.get(), doc);
    if (r != 0 && coleta.falhas.isEmpty())
        coleta.falhas.append({u"/"_s, u"documento recusado pelo esquema"_s});
    return r == 0;
}

ResultadoEsquema naoValidado(const QString& esquema, const QString& motivo) {
    ResultadoEsquema r;
    r.situacao = ResultadoEsquema::NaoValidado;
    r.esquema = esquema;
    r.motivo = motivo;
    return r;
}

ResultadoEsquema malFormado(const QString& erro) {
    ResultadoEsquema r;
    r.situacao = ResultadoEsquema::Invalido;
    r.falhas.append({u"/"_s, u"o XML não está bem formado ("_s + erro + u')'});
    return r;
}

// The schema of the file, or why it cannot be used.
const Compilado* compilaOuDiz(const QString& arquivo, ResultadoEsquema& r) {
    if (!QFileInfo(arquivo).isFile()) {
        r = naoValidado(arquivo, u"nenhum esquema instalado em "_s + arquivo);
        return nullptr;
    }
    const Compilado& c = compila(arquivo);
    if (!c.esquema) {
        r = naoValidado(arquivo, u"o esquema "_s + arquivo + u" não pôde ser lido: "_s + c.erro);
        return nullptr;
    }
    return &c;
}

// What chooses the schema, read from the text without a tree: the root's name and namespace,
// its version (or its first child's) and the event type. Nothing when the text is not of the
// plain form the requests are written in; the tree then decides.
std::optional<DocumentoEsquema> leCabecalho(const QByteArray& xml) {
    qsizetype p = xml.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (p < xml.size()) {
        while (p < xml.size() && QChar::isSpace(static_cast<uchar>(xml[p])))
            ++p;
        if (xml.mid(p, 2) == "<?") {
            const qsizetype fim = xml.indexOf("?>", p);
            if (fim < 0) return std::nullopt;
            p = fim + 2;
        } else if (xml.mid(p, 4) == "<!--") {
            const qsizetype fim = xml.indexOf("-->", p);
            if (fim < 0) return std::nullopt;
            p = fim + 3;
        } else {
            break;
        }
    }
    if (p >= xml.size() || xml[p] != '<') return std::nullopt;
    const auto etiqueta = [&xml](qsizetype inicio) -> QString {
        const qsizetype fim = xml.indexOf('>', inicio);
        return fim < 0 ? QString() : QString::fromUtf8(xml.mid(inicio, fim - inicio + 1));
    };
    static const QRegularExpression nome(u"^<([A-Za-z_][\\w.-]*:)?([A-Za-z_][\\w.-]*)"_s);
    static const QRegularExpression versao(u"\\sversao=\"([^\"]*)\""_s);
    const QString raiz = etiqueta(p);
    const QRegularExpressionMatch n = nome.match(raiz);
    if (!n.hasMatch()) return std::nullopt;
    DocumentoEsquema d;
    d.raiz = n.captured(2);
    const QString prefixo = n.captured(1).chopped(n.captured(1).isEmpty() ? 0 : 1);
    const QRegularExpression ns(u"\\sxmlns"_s + (prefixo.isEmpty() ? QString() : u':' + prefixo) +
                                u"=\"([^\"]*)\""_s);
    d.namespace_ = ns.match(raiz).captured(1);
    d.versao = versao.match(raiz).captured(1);
    if (d.versao.isEmpty() && !raiz.endsWith(u"/>"_s)) {
        const qsizetype filho = p + raiz.toUtf8().size();
        if (filho < xml.size() && xml[filho] == '<') d.versao = versao.match(etiqueta(filho)).captured(1);
    }
    if (const qsizetype t = xml.indexOf("<tpEvento>"); t >= 0) {
        const qsizetype fim = xml.indexOf('<', t + 10);
        d.tpEvento = QString::fromUtf8(xml.mid(t + 10, fim - t - 10)).trimmed();
    }
    return d;
}

void conta(void* contador, const xmlError*) {
    ++*static_cast<int*>(contador);
}

// Checks the text as the parser reads it; any fault, of form or of layout, is only counted.
bool validoNaLeitura(const Compilado& c, const QByteArray& xml) {
    std::unique_ptr<xmlSchemaValidCtxt, LiberaValidador> validador(xmlSchemaNewValidCtxt(c.esquema.get()));
    if (!validador) return false;
    int falhas = 0;
    xmlSchemaSetValidStructuredErrors(
        validador.get(), [](void* d, xmlErrorPtr e) { conta(d, e); }, &falhas);
    // The parser's own messages (a text not well formed) are counted too, not printed.
    const xmlStructuredErrorFunc antes = xmlStructuredError;
    void* const contextoAntes = xmlStructuredErrorContext;
    xmlSetStructuredErrorFunc(&falhas, [](void* d, xmlErrorPtr e) { conta(d, e); });
    // The stream's parser takes the buffer and frees it.
    xmlParserInputBufferPtr entrada =
        xmlParserInputBufferCreateMem(xml.constData(), static_cast<int>(xml.size()), XML_CHAR_ENCODING_UTF8);
    const int r =
        entrada ? xmlSchemaValidateStream(validador.get(), entrada, XML_CHAR_ENCODING_UTF8, nullptr, nullptr)
                : -1;
    xmlSetStructuredErrorFunc(contextoAntes, antes);
    return r == 0 && falhas == 0;
}

} // namespace

QString FalhaEsquema::linha() const {
    return u"Esquema: "_s + caminho + u": "_s + texto;
}

QStringList ResultadoEsquema::linhas() const {
    QStringList l;
    for (const FalhaEsquema& f : falhas)
        l << f.linha();
    return l;
}

QString pastaEsquemas() {
    const QString pasta = qEnvironmentVariable("QEL_DFE_ESQUEMAS");
    if (!pasta.isEmpty()) return pasta;
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + u"/qel-dfe/esquemas"_s;
}

ResultadoEsquema validaContraArquivo(const QByteArray& xml, const QString& arquivoXsd,
                                     const QString& mostraDe) {
    ResultadoEsquema r;
    const Compilado* c = compilaOuDiz(arquivoXsd, r);
    if (!c) return r;
    QString erro;
    const DocXml doc = le(xml, erro);
    if (!doc) return malFormado(erro);
    Coleta coleta;
    coleta.mostraDe = mostraDe;
    r.esquema = arquivoXsd;
    r.situacao =
        valida(*c, doc.get(), nullptr, coleta) ? ResultadoEsquema::Valido : ResultadoEsquema::Invalido;
    r.falhas = coleta.falhas;
    return r;
}

namespace {

// Every declaration of the namespace `de` below the node made one of `para`: the elements that
// use it follow, since they point at the declaration.
void trocaNamespace(xmlNodePtr no, const QByteArray& de, const QByteArray& para) {
    for (; no; no = no->next) {
        if (no->type != XML_ELEMENT_NODE) continue;
        for (xmlNsPtr ns = no->nsDef; ns; ns = ns->next)
            if (ns->href && de == reinterpret_cast<const char*>(ns->href)) {
                xmlFree(const_cast<xmlChar*>(ns->href));
                ns->href = xmlStrdup(reinterpret_cast<const xmlChar*>(para.constData()));
            }
        trocaNamespace(no->children, de, para);
    }
}

EsquemaInstalado instaladoEm(const QString& pasta) {
    return [pasta](const QString& arquivo) { return QFileInfo(pasta + u'/' + arquivo).isFile(); };
}

// The whole check with a tree: the faults with their paths, and the detail of an event.
ResultadoEsquema validaNaArvore(const QByteArray& xml, const QString& pasta) {
    QString erro;
    const DocXml doc = le(xml, erro);
    if (!doc) return malFormado(erro);
    const xmlNodePtr raiz = xmlDocGetRootElement(doc.get());
    if (!raiz) return malFormado(u"sem elemento"_s);
    DocumentoEsquema documento;
    documento.raiz = texto(raiz->name);
    if (raiz->ns) documento.namespace_ = texto(raiz->ns->href);
    documento.versao = atributo(raiz, "versao");
    if (documento.versao.isEmpty()) documento.versao = atributo(primeiroFilho(raiz), "versao");
    documento.tpEvento = conteudo(procura(raiz, "tpEvento", 3)).trimmed();

    const EscolhaEsquema escolha = escolheEsquema(tabelaEsquemas(pasta), documento, instaladoEm(pasta));
    if (!escolha.raizConhecida) return {};
    if (!QFileInfo(pasta).isDir()) return naoValidado(pasta, u"nenhum esquema instalado em "_s + pasta);
    if (!escolha.linha)
        return naoValidado({}, u"não há esquema conhecido para "_s + documento.raiz + u" versão "_s +
                                   documento.versao);
    const LinhaEsquema* escolhida = escolha.linha;
    if (!escolhida->lidoComo.isEmpty() && raiz->ns)
        trocaNamespace(raiz, QByteArray(reinterpret_cast<const char*>(raiz->ns->href)),
                       escolhida->lidoComo.toUtf8());

    ResultadoEsquema r;
    const Compilado* principal = compilaOuDiz(pasta + u'/' + escolhida->esquema, r);
    if (!principal) return r;
    Coleta coleta;
    coleta.mostraDe = escolhida->mostra;
    bool valido = valida(*principal, doc.get(), nullptr, coleta);
    r.esquema = pasta + u'/' + escolhida->esquema;

    // The envelope of a CT-e or MDF-e event takes any detail: its own schema checks it.
    if (!escolhida->detalhe.isEmpty()) {
        if (const xmlNodePtr detalhe = primeiroFilho(procura(raiz, "detEvento", 3))) {
            const QString arquivo =
                pasta + u'/' + QString(escolhida->detalhe).replace(u"{elemento}"_s, texto(detalhe->name));
            ResultadoEsquema semDetalhe;
            if (const Compilado* doDetalhe = compilaOuDiz(arquivo, semDetalhe))
                valido = valida(*doDetalhe, doc.get(), detalhe, coleta) && valido;
            else if (valido)
                return semDetalhe;
        }
    }
    r.situacao = valido ? ResultadoEsquema::Valido : ResultadoEsquema::Invalido;
    r.falhas = coleta.falhas;
    return r;
}

} // namespace

ResultadoEsquema validaEsquemaOficial(const QByteArray& xml, const QString& pasta) {
    // Most documents fit: they are checked as the parser reads them, without a tree (a large NF-e
    // in little more than half the time). A tree, which the paths of the faults need, is built
    // only for a document that does not fit, and for an event whose detail has its own schema.
    if (const std::optional<DocumentoEsquema> cabecalho = leCabecalho(xml)) {
        const EscolhaEsquema escolha = escolheEsquema(tabelaEsquemas(pasta), *cabecalho, instaladoEm(pasta));
        if (!escolha.raizConhecida) return {};
        if (escolha.linha && escolha.linha->detalhe.isEmpty() && escolha.linha->lidoComo.isEmpty() &&
            QFileInfo(pasta).isDir()) {
            ResultadoEsquema r;
            const QString arquivo = pasta + u'/' + escolha.linha->esquema;
            const Compilado* c = compilaOuDiz(arquivo, r);
            if (!c) return r;
            if (validoNaLeitura(*c, xml)) {
                r.situacao = ResultadoEsquema::Valido;
                r.esquema = arquivo;
                return r;
            }
        }
    }
    return validaNaArvore(xml, pasta);
}

} // namespace qel
