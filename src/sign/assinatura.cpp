#include "sign/assinatura.h"

#include "util/arquivos.h"
#include "util/posse_c.h"
#include "util/tabelas.h"

#include <QStringDecoder>
#include <QStringList>
#include <algorithm>
#include <array>
#include <cstring>
#include <libxml/c14n.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/valid.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlmemory.h>
#include <mutex>
#include <openssl/evp.h>
#include <vector>
#include <xmlsec/base64.h>
#include <xmlsec/crypto.h>
#include <xmlsec/errors.h>
#include <xmlsec/openssl/evp.h>
#include <xmlsec/transforms.h>
#include <xmlsec/xmlsec.h>

using namespace Qt::StringLiterals;

namespace qel {

namespace {

// A diagnostic copy with every secret masked (the XML escaping of the request kept in mind).
QByteArray semSegredos(QByteArray texto, const QStringList& segredos) {
    for (const QString& segredo : segredos) {
        texto.replace(segredo.toUtf8(), "********");
        texto.replace(segredo.toHtmlEscaped().toUtf8(), "********");
    }
    return texto;
}

// The whole signing works on the UTF-8 text that libxml2 reads: the document is never turned
// into UTF-16 and back, and the signed text is put together once, from the pieces it is made of.

constexpr QByteArrayView kInicioId = "Id=\"";

void liberaXml(void* p) {
    xmlFree(p);
}

// UTF-8 to QString keeping a leading U+FEFF, which QString::fromUtf8 would take for a
// byte-order mark and drop.
QString deUtf8(QByteArrayView bytes) {
    QStringDecoder decodificador(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    return decodificador.decode(bytes);
}

// The tag markers ("<" and a name) that tell the kinds of document apart.
constexpr std::array<QByteArrayView, 25> kMarcas{"<infMDFe",
                                                 "<infOT",
                                                 "<infCancOT",
                                                 "<infPgtoOT",
                                                 "<infConsultaResumoOT",
                                                 "<consultarRoteirizador_envio",
                                                 "<pagamentoImediatoOT_envio",
                                                 "<operacaoValePedagio_envio",
                                                 "<infCte",
                                                 "<infNFe",
                                                 "<eventoCTe",
                                                 "<eventoMDFe",
                                                 "<evento",
                                                 "<infEvento",
                                                 "<inutCTe",
                                                 "<inutNFe",
                                                 "<xmlProcessamentoNfpse",
                                                 "<SubstituirNfseEnvio",
                                                 "<LoteRps",
                                                 "<tcDeclaracaoPrestacaoServico",
                                                 "<Pedido",
                                                 "<Rps",
                                                 "<nfse",
                                                 "<CTeSimp",
                                                 "<CTe"};

// The first occurrence, with the C library's search (much faster than a plain loop on the
// large texts searched here); -1 when there is none.
qsizetype procura(QByteArrayView texto, QByteArrayView agulha) {
    if (texto.size() < agulha.size() || agulha.isEmpty()) return agulha.isEmpty() ? 0 : -1;
    const void* achado = memmem(texto.data(), static_cast<size_t>(texto.size()), agulha.data(),
                                static_cast<size_t>(agulha.size()));
    return achado ? static_cast<const char*>(achado) - texto.data() : -1;
}

// A text made of pieces (the document cut where the signature goes, the signature, the rest),
// searched as the one text they form and put together in one allocation of the final size.
class Partes {
public:
    Partes(std::initializer_list<QByteArrayView> partes) : partes_(partes) {
        for (const QByteArrayView p : partes_)
            tamanho_ += p.size();
    }

    // Copies the bytes from `de` (up to `n` of them) into the destination; returns how many.
    qsizetype copia(qsizetype de, qsizetype n, char* destino) const {
        qsizetype copiados = 0;
        qsizetype inicio = 0;
        for (const QByteArrayView p : partes_) {
            if (copiados == n) break;
            const qsizetype fim = inicio + p.size();
            if (de < fim && p.size() > 0) {
                const qsizetype desde = std::max(de, inicio) - inicio;
                const qsizetype quantos = std::min(p.size() - desde, n - copiados);
                std::memcpy(destino + copiados, p.data() + desde, static_cast<size_t>(quantos));
                copiados += quantos;
                de += quantos;
            }
            inicio = fim;
        }
        return copiados;
    }

    // The position of the first occurrence in the joined text; -1 when there is none.
    qsizetype indexOf(QByteArrayView agulha) const {
        if (agulha.isEmpty()) return 0;
        qsizetype inicio = 0;
        for (const QByteArrayView p : partes_) {
            if (const qsizetype i = procura(p, agulha); i >= 0) return inicio + i;
            // An occurrence that starts in this piece and ends in the next ones.
            const qsizetype antes = std::min(p.size(), agulha.size() - 1);
            QByteArray janela(antes + agulha.size() - 1, Qt::Uninitialized);
            const qsizetype n = copia(inicio + p.size() - antes, janela.size(), janela.data());
            const qsizetype i = procura(QByteArrayView(janela.constData(), n), agulha);
            if (i >= 0 && i < antes) return inicio + p.size() - antes + i;
            inicio += p.size();
        }
        return -1;
    }

    // The joined text, with `inserido` put in at `posicao` (when it is 0 or more). Room is left
    // for one more byte, the line end the command-line output appends.
    QByteArray junta(qsizetype posicao = -1, QByteArrayView inserido = {}) const {
        const qsizetype extra = posicao >= 0 ? inserido.size() : 0;
        QByteArray texto;
        texto.reserve(tamanho_ + extra + 1);
        texto.resize(tamanho_ + extra);
        char* destino = texto.data();
        if (posicao < 0) {
            copia(0, tamanho_, destino);
        } else {
            copia(0, posicao, destino);
            if (!inserido.isEmpty())
                std::memcpy(destino + posicao, inserido.data(), static_cast<size_t>(inserido.size()));
            copia(posicao, tamanho_ - posicao, destino + posicao + inserido.size());
        }
        return texto;
    }

private:
    std::vector<QByteArrayView> partes_;
    qsizetype tamanho_ = 0;
};

bool contem(QByteArrayView texto, QByteArrayView agulha) {
    return procura(texto, agulha) >= 0;
}
bool contem(const Partes& texto, QByteArrayView agulha) {
    return texto.indexOf(agulha) >= 0;
}

// Which of the tag markers a text holds, found in one pass over its "<" characters instead of
// one search of the whole text per marker.
class Marcas {
public:
    explicit Marcas(QByteArrayView texto) {
        if (texto.isEmpty()) return;
        const char* p = texto.data();
        const char* const fim = p + texto.size();
        while ((p = static_cast<const char*>(std::memchr(p, '<', static_cast<size_t>(fim - p))))) {
            const QByteArrayView resto(p, fim - p);
            ++p;
            if (p == fim || static_cast<unsigned char>(*p) >= 128) continue;
            for (const std::size_t i : porPrimeiraLetra()[static_cast<unsigned char>(*p)])
                if (resto.size() > 3 && resto[2] == kMarcas[i][2] && resto[3] == kMarcas[i][3] &&
                    resto.startsWith(kMarcas[i]))
                    presentes_ |= 1u << i;
        }
    }
    // A marker that begins with "<" is looked up; any other text is searched in the text given.
    template <typename Texto> bool tem(QByteArrayView marca, const Texto& texto) const {
        if (!marca.startsWith('<')) return contem(texto, marca);
        const auto m = std::find(kMarcas.begin(), kMarcas.end(), marca);
        Q_ASSERT(m != kMarcas.end());
        return m != kMarcas.end() && (presentes_ & (1u << (m - kMarcas.begin())));
    }

private:
    // The markers by the letter that follows "<".
    static const std::array<std::vector<std::size_t>, 128>& porPrimeiraLetra() {
        static const std::array<std::vector<std::size_t>, 128> tabela = [] {
            std::array<std::vector<std::size_t>, 128> t;
            for (std::size_t i = 0; i < kMarcas.size(); ++i)
                t[static_cast<unsigned char>(kMarcas[i][1])].push_back(i);
            return t;
        }();
        return tabela;
    }

    std::uint32_t presentes_ = 0;
};
static_assert(kMarcas.size() <= 32);

// The `comprimento` characters (UTF-16 units, as the rule counts them) right behind the first
// Id attribute of the text.
QString idComprimento(QByteArrayView texto, qsizetype comprimento) {
    const qsizetype p = procura(texto, kInicioId);
    if (p < 0) return {};
    const QByteArrayView resto = texto.sliced(p + kInicioId.size());
    // n characters take at most 3n bytes; a character cut at the end of those is whole in 3 more.
    return deUtf8(resto.first(std::min(resto.size(), 3 * comprimento + 3))).left(comprimento);
}

// From right behind the first Id attribute up to the first occurrence of the marker.
QString idAte(QByteArrayView texto, QByteArrayView marca) {
    const qsizetype p = procura(texto, kInicioId);
    const qsizetype m = procura(texto, marca);
    if (p < 0 || m < 0) return {};
    const qsizetype inicio = p + kInicioId.size();
    return m > inicio ? deUtf8(texto.sliced(inicio, m - inicio)) : QString();
}

bool municipioComPedido(const QString& codigoMunicipio) {
    static const QStringList municipios{u"Arroio do Meio"_s, u"Cruzeiro do Sul"_s, u"Marques de Souza"_s,
                                        u"Encantado"_s};
    return municipios.contains(Nome_Municipio(codigoMunicipio));
}

// The Signature element; without values it is the template that is signed.
QByteArray assinaturaXml(QByteArrayView idReferencia, QByteArrayView digest = {}, QByteArrayView valor = {}) {
    static constexpr QByteArrayView inicio =
        "<Signature xmlns=\"http://www.w3.org/2000/09/xmldsig#\"><SignedInfo>"
        "<CanonicalizationMethod Algorithm=\"http://www.w3.org/TR/2001/REC-xml-c14n-20010315\"/>"
        "<SignatureMethod Algorithm=\"http://www.w3.org/2000/09/xmldsig#rsa-sha1\"/>"
        "<Reference URI=\"#";
    static constexpr QByteArrayView meio =
        "\"><Transforms><Transform Algorithm=\"http://www.w3.org/2000/09/xmldsig#enveloped-signature\"/>"
        "<Transform Algorithm=\"http://www.w3.org/TR/2001/REC-xml-c14n-20010315\"/></Transforms>"
        "<DigestMethod Algorithm=\"http://www.w3.org/2000/09/xmldsig#sha1\"/><DigestValue>";
    static constexpr QByteArrayView antesValor = "</DigestValue></Reference></SignedInfo><SignatureValue>";
    static constexpr QByteArrayView fim = "</SignatureValue></Signature>";
    QByteArray xml;
    xml.reserve(inicio.size() + idReferencia.size() + meio.size() + digest.size() + antesValor.size() +
                valor.size() + fim.size());
    xml.append(inicio)
        .append(idReferencia)
        .append(meio)
        .append(digest)
        .append(antesValor)
        .append(valor)
        .append(fim);
    return xml;
}

// The closing sequence whose "</Signature>" receives KeyInfo; empty when nothing is inserted.
// The tag markers of the signed text are those of the text before signing (the signature adds
// none of them); markers without "<" are searched in the signed text itself.
QByteArrayView sequenciaFechamento(const Partes& assinado, const Marcas& marcas,
                                   const QString& codigoMunicipio) {
    const auto tem = [&](QByteArrayView marca) { return marcas.tem(marca, assinado); };
    static constexpr std::pair<QByteArrayView, QByteArrayView> linhas[] = {
        {"<CTeSimp", "</Signature></CTeSimp>"},
        {"<CTe", "</Signature></CTe>"},
        {"<eventoCTe", "</Signature></eventoCTe>"},
        {"<eventoMDFe", "</Signature></eventoMDFe>"},
        {"<evento", "</Signature></evento>"},
        {"infMDFe", "</Signature></MDFe>"},
        {"<infEvento", "</Signature></infEvento>"},
        {"inutCTe", "</Signature></inutCTe>"},
        {"inutNFe", "</Signature></inutNFe>"},
        {"infNFe", "</Signature></NFe>"},
        {"infOT", "</Signature></OT>"},
        {"<infCancOT", "</Signature></cancelarOT_envio>"},
        {"<infPgtoOT", "</Signature></pagamentoImediatoOT_envio>"},
        {"<consultarRoteirizador_envio", "</Signature></consultarRoteirizador_envio>"},
        {"<pagamentoImediatoOT_envio", "</Signature></pagamentoImediatoOT_envio>"},
        {"<operacaoValePedagio_envio", "</Signature></operacaoValePedagio_envio>"},
        {"infConsultaResumoOT", "</Signature></consultarStatusOT_envio>"},
        {"<nfse", "</Signature></nfse>"},
        {"tcDeclaracaoPrestacaoServico", "</Signature></tcDeclaracaoPrestacaoServico>"},
    };
    for (const auto& [marca, sequencia] : linhas)
        if (tem(marca)) return sequencia;
    if (tem("LoteRps")) {
        if (tem("EnviarLoteRpsEnvio")) return "</Signature></EnviarLoteRpsEnvio>";
        if (tem("RecepcionarLoteRps")) return "</Signature></RecepcionarLoteRps>";
        return {};
    }
    if (tem("<Rps")) return "</Signature></ListaRps>";
    if (tem("Pedido"))
        return municipioComPedido(codigoMunicipio) ? "</Signature></Pedido>"
                                                   : "</Signature></CancelarNfseEnvio>";
    return {};
}

LocalAssinatura localAssinatura(QByteArrayView texto, const Marcas& marcas, const QString& chave,
                                const QString& codigoMunicipio) {
    const auto tem = [&](QByteArrayView marca) { return marcas.tem(marca, texto); };
    const auto local = [](QString id, qsizetype cauda) {
        return LocalAssinatura{true, std::move(id), cauda};
    };
    if (tem("<infMDFe")) return local(idComprimento(texto, 48), 7);
    if (tem("<infOT")) return local(chave, 5);
    if (tem("<infCancOT")) return local(chave, 19);
    if (tem("<infPgtoOT")) return local(chave, 28);
    if (tem("<infConsultaResumoOT")) return local(chave, 26);
    if (tem("<consultarRoteirizador_envio")) return local(chave, 30);
    if (tem("<pagamentoImediatoOT_envio")) return local(chave, 28);
    if (tem("<operacaoValePedagio_envio")) return local(chave, 28);
    if (tem("<infCte")) return local(idComprimento(texto, 47), tem("CTeSimp") ? 10 : 6);
    if (tem("<infNFe")) return local(idComprimento(texto, 47), 6);
    if (tem("<eventoCTe")) return local(idComprimento(texto, 55), 12);
    if (tem("<eventoMDFe")) return local(idComprimento(texto, 54), 13);
    if (tem("<evento")) return local(idComprimento(texto, 54), 9);
    if (tem("<infEvento")) return local(idComprimento(texto, 54), 12);
    if (tem("<inutCTe")) return local(idComprimento(texto, 41), 10);
    if (tem("<inutNFe")) return local(idComprimento(texto, 43), 10);
    if (tem("<xmlProcessamentoNfpse")) return local(u"12345"_s, 24);
    // The signature closes the substitution request itself: its closing tag has 22 characters.
    if (tem("<SubstituirNfseEnvio")) return local(idAte(texto, "\"><NumeroLote>"), 22);
    if (tem("<LoteRps")) return local(idAte(texto, "\"><NumeroLote>"), 21);
    if (tem("<tcDeclaracaoPrestacaoServico")) return local(chave, 31);
    if (tem("<Pedido")) {
        if (municipioComPedido(codigoMunicipio)) return local(idAte(texto, "\"><IdentificacaoNfse>"), 9);
        return local(idAte(texto, "\"><InfPedidoCancelamento>"), 20);
    }
    if (tem("<Rps")) return local(idAte(texto, "\"><IdentificacaoRps>"), 6);
    if (tem("<nfse")) return local(idAte(texto, "\"><nf>"), 7);
    return {};
}

// Where the signature goes: `cauda` characters (UTF-16 units, as the rule counts them) before
// the end of the text, or its start when it is shorter.
qsizetype posicaoDoCorte(QByteArray& texto, qsizetype cauda) {
    qsizetype i = texto.size();
    qsizetype unidades = 0;
    while (unidades < cauda && i > 0) {
        qsizetype j = i - 1;
        while (j > 0 && (static_cast<unsigned char>(texto.at(j)) & 0xC0) == 0x80)
            --j;
        const qsizetype largura = static_cast<unsigned char>(texto.at(j)) >= 0xF0 ? 2 : 1;
        if (unidades + largura > cauda) {
            // The cut falls between the two halves of a character beyond the BMP. Each half
            // alone is written as "?" in UTF-8 (what QString::toUtf8 does with a lone
            // surrogate), so the text keeps the length the rule counted.
            texto.replace(j, i - j, "??");
            return j + 1;
        }
        unidades += largura;
        i = j;
    }
    return i;
}

// The cleaning of a text in place: every character 1 to 31 removed, then every run of four
// blanks, then of two. A run of blanks (the removed characters do not break it) thus keeps one
// blank when it is of odd length and none otherwise. Returns the new length.
template <typename C> qsizetype limpa(C* dados, qsizetype n) {
    const auto controle = [](C c) { return c != 0 && c < 32; };
    qsizetype i = 0;
    // Documents usually arrive clean: nothing is written until the first change.
    while (i < n && !controle(dados[i]) && !(dados[i] == ' ' && i + 1 < n && dados[i + 1] == ' '))
        ++i;
    // A run of blanks right before the first change belongs to it.
    while (i > 0 && dados[i - 1] == ' ')
        --i;
    qsizetype destino = i;
    while (i < n) {
        const C c = dados[i];
        if (c == ' ' || controle(c)) {
            qsizetype brancos = 0;
            for (; i < n && (dados[i] == ' ' || controle(dados[i])); ++i)
                brancos += dados[i] == ' ';
            if (brancos % 2) dados[destino++] = ' ';
            continue;
        }
        dados[destino++] = c;
        ++i;
    }
    return destino;
}

template <typename C> bool limpo(const C* dados, qsizetype n) {
    // Checked in blocks without an early exit, which the compiler turns into vector code.
    constexpr qsizetype kBloco = 4096;
    for (qsizetype i = 0; i + 1 < n; i += kBloco) {
        const qsizetype fim = std::min(n - 1, i + kBloco);
        unsigned sujo = 0;
        for (qsizetype j = i; j < fim; ++j) {
            const C c = dados[j];
            const C seguinte = dados[j + 1];
            sujo |= unsigned(C(c - 1) < 31) | (unsigned(c == ' ') & unsigned(seguinte == ' '));
        }
        if (sujo) return false;
    }
    return n == 0 || C(dados[n - 1] - 1) >= 31;
}

// xmlsec and libxml2 are set up once per process.
void iniciaXmlsec() {
    static std::once_flag uma;
    std::call_once(uma, [] {
        carregaProvedoresOpenSsl();
        xmlInitParser();
        xmlSecInit();
        xmlSecCryptoAppInit(nullptr);
        xmlSecCryptoInit();
        // One-line Base64 values: the text that is sent is one line.
        xmlSecBase64SetDefaultLineSize(0);
        // Errors are reported to the user through the result, not printed.
        xmlSecErrorsSetCallback(
            [](const char*, int, const char*, const char*, const char*, int, const char*) {});
    });
}

QString ultimoErroXml() {
    const xmlError* erro = xmlGetLastError();
    if (!erro || !erro->message) return u"documento XML inválido"_s;
    return QString::fromUtf8(erro->message).trimmed();
}

// The Signature children of the root: the template, and any the document already had there.
QList<xmlNodePtr> filhosAssinatura(xmlNodePtr raiz) {
    QList<xmlNodePtr> achados;
    for (xmlNodePtr filho = raiz ? raiz->children : nullptr; filho; filho = filho->next)
        if (filho->type == XML_ELEMENT_NODE && xmlStrEqual(filho->name, BAD_CAST "Signature"))
            achados.append(filho);
    return achados;
}

xmlNodePtr filhoElemento(xmlNodePtr no, const char* nome) {
    for (xmlNodePtr filho = no ? no->children : nullptr; filho; filho = filho->next) {
        if (filho->type != XML_ELEMENT_NODE) continue;
        if (xmlStrEqual(filho->name, BAD_CAST nome)) return filho;
        if (xmlNodePtr achado = filhoElemento(filho, nome)) return achado;
    }
    return nullptr;
}

// The first element, in document order, whose attribute of that name has the value. Only the
// path to it is walked: the signed element is near the top of every kind of document.
xmlNodePtr primeiroComId(xmlDocPtr doc, xmlNodePtr no, QByteArrayView id, const char* atributoId) {
    for (; no; no = no->next) {
        if (no->type != XML_ELEMENT_NODE) continue;
        if (xmlAttrPtr atributo = xmlHasProp(no, BAD_CAST atributoId); atributo && atributo->children) {
            const auto valor = possui<liberaXml>(xmlNodeListGetString(doc, atributo->children, 1));
            if (valor && QByteArrayView(reinterpret_cast<const char*>(valor.get())) == id) return no;
        }
        if (xmlNodePtr achado = primeiroComId(doc, no->children, id, atributoId)) return achado;
    }
    return nullptr;
}

// The element the Reference points to. An xml:id the parser registered comes first, as it did
// when every Id attribute was registered after it; then the Id attribute of the fiscal layouts;
// then the lower-case id of the ABRASF 1.00 municipal layouts.
xmlNodePtr elementoReferenciado(xmlDocPtr doc, QByteArrayView id) {
    if (id.isEmpty()) return nullptr;
    const QByteArray valor = id.toByteArray();
    if (const xmlAttrPtr registrado = xmlGetID(doc, BAD_CAST valor.constData())) return registrado->parent;
    if (xmlNodePtr achado = primeiroComId(doc, xmlDocGetRootElement(doc), id, "Id")) return achado;
    return primeiroComId(doc, xmlDocGetRootElement(doc), id, "id");
}

// The empty template anywhere in the tree: the Signature element whose DigestValue is empty.
xmlNodePtr modeloEmQualquerLugar(xmlNodePtr no) {
    for (; no; no = no->next) {
        if (no->type != XML_ELEMENT_NODE) continue;
        if (xmlStrEqual(no->name, BAD_CAST "Signature")) {
            xmlNodePtr digest = filhoElemento(no, "DigestValue");
            if (digest && !digest->children) return no;
            continue;
        }
        if (xmlNodePtr achado = modeloEmQualquerLugar(no->children)) return achado;
    }
    return nullptr;
}

// The certificate's private key as xmlsec holds it (the context that signs owns and frees it).
// The key itself is shared, not copied: a copy would set up its blinding and Montgomery values
// again for each signature, which costs about as much as the signature.
Posse<xmlSecKey, xmlSecKeyDestroy> chaveXmlsec(const Certificado& certificado) {
    EVP_PKEY* chavePrivada = certificado.chavePrivada();
    if (!chavePrivada || EVP_PKEY_up_ref(chavePrivada) != 1) return nullptr;
    auto referencia = possui<EVP_PKEY_free>(chavePrivada);
    auto dados = possui<xmlSecKeyDataDestroy>(xmlSecOpenSSLEvpKeyAdopt(referencia.get()));
    if (!dados) return nullptr;
    referencia.release(); // adopted by the key data
    auto chave = possui<xmlSecKeyDestroy>(xmlSecKeyCreate());
    if (!chave || xmlSecKeySetValue(chave.get(), dados.get()) < 0) return nullptr;
    dados.release(); // owned by the key
    return chave;
}

struct Valores {
    QByteArray digest;
    QByteArray assinatura;
    QString erro;
};

// The enveloped-signature transform followed by inclusive Canonical XML 1.0: the referenced
// element and everything in it, less the Signature element and what it holds. The elements
// that are visible are marked once, so that the canonicaliser's question about each node is
// answered without walking up to its ancestors.
const char kVisivel = 0;

void marcaVisiveis(xmlNodePtr referenciado, xmlNodePtr assinatura) {
    if (referenciado == assinatura) return;
    referenciado->_private = const_cast<char*>(&kVisivel);
    xmlNodePtr no = referenciado->children;
    while (no && no != referenciado) {
        if (no->type == XML_ELEMENT_NODE && no != assinatura) {
            no->_private = const_cast<char*>(&kVisivel);
            if (no->children) {
                no = no->children;
                continue;
            }
        }
        while (no != referenciado && !no->next)
            no = no->parent;
        if (no != referenciado) no = no->next;
    }
}

int visivelMarcado(void*, xmlNodePtr no, xmlNodePtr pai) {
    // Namespace declarations come with the element that holds them; attributes, text and the
    // rest belong to their parent element.
    const xmlNode* elemento = no->type == XML_NAMESPACE_DECL ? pai
                              : no->type == XML_ELEMENT_NODE ? no
                                                             : no->parent;
    return elemento && elemento->type == XML_ELEMENT_NODE && elemento->_private == &kVisivel;
}

// The canonical text goes straight into SHA-1 as libxml2 writes it, in small blocks: the
// canonical form of a large document is never held in memory.
int escreveNoResumo(void* resumo, const char* dados, int tamanho) {
    return EVP_DigestUpdate(static_cast<EVP_MD_CTX*>(resumo), dados, static_cast<size_t>(tamanho)) == 1
               ? tamanho
               : -1;
}

// The digest of the referenced element, with libxml2's canonicalisation and OpenSSL's SHA-1. It
// is computed here rather than through xmlsec's reference processing, whose general node sets
// cost about as much as the RSA operation itself on a document of ordinary size.
QByteArray digestReferencia(xmlDocPtr doc, xmlNodePtr referenciado, xmlNodePtr assinatura) {
    const auto resumo = possui<EVP_MD_CTX_free>(EVP_MD_CTX_new());
    if (!resumo || EVP_DigestInit_ex(resumo.get(), EVP_sha1(), nullptr) != 1) return {};
    xmlOutputBufferPtr saida = xmlOutputBufferCreateIO(escreveNoResumo, nullptr, resumo.get(), nullptr);
    if (!saida) return {};
    marcaVisiveis(referenciado, assinatura);
    const int r = xmlC14NExecute(doc, visivelMarcado, nullptr, XML_C14N_1_0, nullptr, 0, saida);
    // Closing writes what is still buffered; it fails when that write fails.
    if (xmlOutputBufferClose(saida) < 0 || r < 0) return {};
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int tamanho = 0;
    if (EVP_DigestFinal_ex(resumo.get(), digest, &tamanho) != 1) return {};
    return QByteArray(reinterpret_cast<const char*>(digest), tamanho).toBase64();
}

int dentroDe(void* alvo, xmlNodePtr no, xmlNodePtr pai) {
    for (xmlNodePtr p = no->type == XML_NAMESPACE_DECL ? pai : no; p; p = p->parent)
        if (p == alvo) return 1;
    return 0;
}

// SignedInfo, with the digest in it, in canonical form. It is canonicalised in a small document
// of its own instead of inside the signed one, whose every node the canonicaliser would visit:
// a copy of the Signature element under one element that declares the namespaces in scope
// where the Signature is and carries the xml: attributes it inherits there, which is all that
// inclusive canonicalisation takes from outside SignedInfo.
QByteArray signedInfoCanonico(xmlDocPtr doc, xmlNodePtr assinatura, QByteArrayView digest) {
    const auto pequeno = possui<xmlFreeDoc>(xmlNewDoc(BAD_CAST "1.0"));
    if (!pequeno) return {};
    xmlNodePtr contexto = xmlNewDocNode(pequeno.get(), nullptr, BAD_CAST "contexto", nullptr);
    if (!contexto) return {};
    xmlDocSetRootElement(pequeno.get(), contexto);
    xmlNodePtr pai = assinatura->parent;
    if (const auto emEscopo = possui<liberaXml>(xmlGetNsList(doc, pai))) {
        for (xmlNsPtr* ns = emEscopo.get(); *ns; ++ns) {
            // A declaration of the xml prefix is never rendered (and cannot be repeated).
            if (xmlStrEqual((*ns)->prefix, BAD_CAST "xml")) continue;
            if (!xmlNewNs(contexto, (*ns)->href, (*ns)->prefix)) return {};
        }
    }
    for (xmlNodePtr ancestral = pai; ancestral && ancestral->type == XML_ELEMENT_NODE;
         ancestral = ancestral->parent) {
        for (xmlAttrPtr a = ancestral->properties; a; a = a->next) {
            // The nearest ancestor's value wins.
            if (!a->ns || !xmlStrEqual(a->ns->href, XML_XML_NAMESPACE) ||
                xmlHasNsProp(contexto, a->name, XML_XML_NAMESPACE))
                continue;
            const auto valor = possui<liberaXml>(xmlNodeListGetString(doc, a->children, 1));
            xmlNsPtr xml = xmlSearchNsByHref(pequeno.get(), contexto, XML_XML_NAMESPACE);
            if (!xml || !xmlSetNsProp(contexto, xml, a->name, valor ? valor.get() : BAD_CAST "")) return {};
        }
    }
    xmlNodePtr copia = xmlDocCopyNode(assinatura, pequeno.get(), 1);
    if (!copia) return {};
    xmlAddChild(contexto, copia);
    xmlNodePtr signedInfo = filhoElemento(copia, "SignedInfo");
    xmlNodePtr digestValue = filhoElemento(copia, "DigestValue");
    if (!signedInfo || !digestValue) return {};
    xmlNodeSetContent(digestValue, BAD_CAST digest.toByteArray().constData());

    const auto saida = possui<xmlOutputBufferClose>(xmlAllocOutputBuffer(nullptr));
    if (!saida ||
        xmlC14NExecute(pequeno.get(), dentroDe, signedInfo, XML_C14N_1_0, nullptr, 0, saida.get()) < 0)
        return {};
    return QByteArray(reinterpret_cast<const char*>(xmlOutputBufferGetContent(saida.get())),
                      static_cast<qsizetype>(xmlOutputBufferGetSize(saida.get())));
}

// The signature value: xmlsec signs the canonical SignedInfo with RSA-SHA1.
QByteArray valorAssinatura(QByteArrayView signedInfo, const Certificado& certificado) {
    const auto chave = chaveXmlsec(certificado);
    if (!chave || signedInfo.isEmpty()) return {};
    const auto ctx = possui<xmlSecTransformCtxDestroy>(xmlSecTransformCtxCreate());
    if (!ctx) return {};
    xmlSecTransformPtr rsa = xmlSecTransformCtxCreateAndAppend(ctx.get(), xmlSecTransformRsaSha1Id);
    if (!rsa) return {};
    rsa->operation = xmlSecTransformOperationSign;
    if (xmlSecTransformSetKey(rsa, chave.get()) < 0 ||
        xmlSecTransformCtxBinaryExecute(ctx.get(), reinterpret_cast<const xmlSecByte*>(signedInfo.data()),
                                        static_cast<xmlSecSize>(signedInfo.size())) < 0 ||
        !ctx->result)
        return {};
    const auto* dados = reinterpret_cast<const char*>(xmlSecBufferGetData(ctx->result));
    return QByteArray(dados, static_cast<qsizetype>(xmlSecBufferGetSize(ctx->result))).toBase64();
}

using Documento = Posse<xmlDoc, xmlFreeDoc>;

// Computes digest and signature value of the text that holds the empty template. The tree is
// left in `doc` for the caller to free last: freeing its many small nodes makes the allocator
// tidy up at the next large allocation, which is better not spent while the answer waits.
Valores calcula(const QByteArray& comModelo, const Certificado& certificado, const LocalAssinatura& local,
                bool emQualquerElemento, Documento& doc) {
    iniciaXmlsec();
    xmlResetLastError();
    // Small text nodes are kept inside their node (fewer allocations): the tree is only read.
    doc = possui<xmlFreeDoc>(
        xmlReadMemory(comModelo.constData(), static_cast<int>(comModelo.size()), "documento.xml", "UTF-8",
                      XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_COMPACT));
    if (!doc) return {{}, {}, ultimoErroXml()};
    Valores valores;
    xmlNodePtr raiz = xmlDocGetRootElement(doc.get());
    // With a location given by the caller the template may be the child of an inner element; the
    // element that holds it must not hold another signature.
    if (emQualquerElemento)
        if (xmlNodePtr modelo = modeloEmQualquerLugar(raiz); modelo && modelo->parent) raiz = modelo->parent;
    const QList<xmlNodePtr> assinaturas = filhosAssinatura(raiz);
    xmlNodePtr assinatura = assinaturas.value(0);
    const QByteArray id = local.idReferencia.toUtf8();
    if (assinaturas.size() > 1) {
        // Signing over a signature already in place would compute values into the old one and
        // hand back a document whose signature does not verify.
        valores.erro =
            u"o documento já está assinado: já há um elemento Signature onde a assinatura ficaria"_s;
    } else if (!assinatura || !filhoElemento(assinatura, "DigestValue") ||
               !filhoElemento(assinatura, "SignedInfo")) {
        valores.erro = u"o elemento Signature não ficou dentro do elemento raiz do documento"_s;
    } else if (xmlNodePtr elemento = elementoReferenciado(doc.get(), id); !elemento) {
        valores.erro = u"o documento não tem o elemento de Id \""_s + local.idReferencia +
                       u"\" que a assinatura referencia"_s;
    } else {
        valores.digest = digestReferencia(doc.get(), elemento, assinatura);
        if (!valores.digest.isEmpty())
            valores.assinatura =
                valorAssinatura(signedInfoCanonico(doc.get(), assinatura, valores.digest), certificado);
        if (valores.digest.isEmpty() || valores.assinatura.isEmpty())
            valores.erro = u"a assinatura não pôde ser calculada com a chave privada do certificado"_s;
    }
    return valores;
}

} // namespace

LocalAssinatura localAssinatura(QByteArrayView textoUtf8, const QString& chave,
                                const QString& codigoMunicipio) {
    return localAssinatura(textoUtf8, Marcas(textoUtf8), chave, codigoMunicipio);
}

LocalAssinatura localAssinatura(const QString& texto, const QString& chave, const QString& codigoMunicipio) {
    const QByteArray utf8 = texto.toUtf8();
    return localAssinatura(QByteArrayView(utf8), chave, codigoMunicipio);
}

QString limpaParaAssinatura(const QString& texto) {
    // Documents usually arrive clean: then the text is returned as it is, without a copy.
    if (limpo(reinterpret_cast<const char16_t*>(texto.utf16()), texto.size())) return texto;
    QString resultado = texto;
    resultado.truncate(limpa(reinterpret_cast<char16_t*>(resultado.data()), resultado.size()));
    return resultado;
}

QByteArray limpaParaAssinatura(QByteArray textoUtf8) {
    // Control characters and blanks are single bytes in UTF-8, never part of another character.
    if (limpo(reinterpret_cast<const unsigned char*>(textoUtf8.constData()), textoUtf8.size()))
        return textoUtf8;
    textoUtf8.truncate(limpa(reinterpret_cast<unsigned char*>(textoUtf8.data()), textoUtf8.size()));
    return textoUtf8;
}

ResultadoAssinaturaUtf8 assinaXmlUtf8(QByteArray texto, const ContextoAssinatura& contexto) {
    if (!contexto.certificado || !contexto.certificado->valido() || !contexto.certificado->chavePrivada())
        return {{}, u"nenhum certificado com chave privada foi selecionado"_s};
    texto = limpaParaAssinatura(std::move(texto));
    const Marcas marcas(texto);
    const LocalAssinatura local =
        contexto.local ? *contexto.local
                       : localAssinatura(texto, marcas, contexto.chave, contexto.codigoMunicipio);
    const qsizetype corte = posicaoDoCorte(texto, local.cauda);
    const QByteArrayView antes = QByteArrayView(texto).first(corte);
    const QByteArrayView depois = QByteArrayView(texto).sliced(corte);
    const QByteArray id = local.idReferencia.toUtf8();
    const QByteArray modeloVazio = assinaturaXml(id);
    // libxml2 reads it from memory: reading through callbacks would spare this copy but not
    // handle a leading U+FEFF the same way.
    const QByteArray comModelo = Partes{antes, modeloVazio, depois}.junta();
    if (!contexto.arquivoAntes.isEmpty()) {
        Prepara_Pasta(contexto.arquivoAntes, u"N"_s);
        gravaBytes(contexto.arquivoAntes, semSegredos(comModelo, contexto.segredos));
    }

    Documento arvore;
    const Valores valores =
        calcula(comModelo, *contexto.certificado, local, contexto.local.has_value(), arvore);
    if (!valores.erro.isEmpty()) return {{}, valores.erro};

    // The values are put into the text as it was given, so nothing outside the signature changes.
    const QByteArray preenchido = assinaturaXml(id, valores.digest, valores.assinatura);
    const Partes assinado{antes, preenchido, depois};
    const QByteArray keyInfo = "<KeyInfo><X509Data><X509Certificate>" +
                               contexto.certificado->exportaBase64().toLatin1() +
                               "</X509Certificate></X509Data></KeyInfo>";
    QByteArray resultado;
    if (contexto.local) {
        // KeyInfo closes the signature just made, wherever it stands.
        resultado =
            assinado.junta(antes.size() + preenchido.size() - qsizetype(sizeof("</Signature>") - 1), keyInfo);
    } else {
        const QByteArrayView sequencia = sequenciaFechamento(assinado, marcas, contexto.codigoMunicipio);
        const qsizetype p = sequencia.isEmpty() ? -1 : assinado.indexOf(sequencia);
        resultado = p >= 0 ? assinado.junta(p, keyInfo) : assinado.junta();
    }
    if (!contexto.arquivoDepois.isEmpty())
        gravaBytes(contexto.arquivoDepois, semSegredos(resultado, contexto.segredos));
    return {resultado, {}};
}

ResultadoAssinatura assinaXml(const QString& texto, const ContextoAssinatura& contexto) {
    ResultadoAssinaturaUtf8 r = assinaXmlUtf8(texto.toUtf8(), contexto);
    return {deUtf8(r.texto), std::move(r.erro)};
}

} // namespace qel
