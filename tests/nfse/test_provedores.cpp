// The provider units: the requests of each group as its schema wants them, signed where its
// layout puts the signature (checked by xmlsec1), and the envelope each provider takes, byte for
// byte.

#include "../esquema.h"
#include "nfse/estrela.h"
#include "nfse/provedor.h"
#include "nfse_teste.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace qel;

namespace {

DadosNfse dados(const QString& documento, const QString& municipio) {
    DadosNfse d;
    d.documento = documento;
    d.cnpj = u"12345678000195"_s;
    d.inscricaoMunicipal = u"123456"_s;
    d.razaoSocial = u"EMPRESA TESTE LTDA"_s;
    d.codigoMunicipio = municipio;
    d.nomeBase = u"/tmp/NFSe0000004711"_s;
    d.rps = {u"77"_s, u"A1"_s, u"1"_s};
    d.numeroNfse = u"202600000000001"_s;
    d.protocolo = u"432600000000007"_s;
    d.motivo = u"Serviço não prestado & cobrado"_s;
    return d;
}

const ProvedorNfse& provedor(GrupoNfse g) {
    return *provedorNfse(g);
}

Endpoint endpoint(const QString& namespace_, const QString& acao = {}) {
    Endpoint e;
    e.namespace_ = namespace_;
    e.acao = acao.isEmpty() ? namespace_ : acao;
    return e;
}

QString golden(const QString& nome) {
    return QString::fromUtf8(teste::le(QString::fromUtf8(QEL_DADOS_TESTE) + u"/nfse/envelopes/"_s + nome))
        .trimmed();
}

// One request of each group, the signature marked, in its envelope: the texts the providers get.
TEST(ProvedoresNfse, EnvelopeDeCadaGrupoByteAByte) {
    const QString abrasf1 = teste::documentoNfse(u"rps_abrasf1.xml"_s, u"4311403"_s, u"51"_s);
    struct Caso {
        GrupoNfse grupo;
        Servico servico;
        QString documento;
        Endpoint endpoint;
        const char* arquivo;
    };
    const Caso casos[] = {
        {GrupoNfse::Thema, Servico::Recepcao, abrasf1, endpoint(u"recepcionarLoteRpsLimitado"_s),
         "thema.xml"},
        {GrupoNfse::Issnet,
         Servico::Consultar,
         {},
         endpoint(u"http://www.issnetonline.com.br/webservice/nfd/ConsultarNFSePorRPS"_s),
         "issnet.xml"},
        {GrupoNfse::Curitiba,
         Servico::Cancelar,
         {},
         endpoint(u"http://www.e-governeapps2.com.br/CancelarNfse"_s),
         "curitiba.xml"},
        {GrupoNfse::Tecnos, Servico::Recepcao, teste::documentoNfse(u"declaracao_tecnos.xml"_s, u"4306809"_s),
         endpoint(u"http://tempuri.org/mEnvioLoteRPSSincrono"_s), "tecnos.xml"},
        {GrupoNfse::Tecnos, Servico::Recepcao, teste::documentoNfse(u"declaracao_tecnos.xml"_s, u"4312054"_s),
         endpoint(u"GerarNfse"_s), "marques_de_souza.xml"},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.arquivo);
        const ProvedorNfse& p = provedor(c.grupo);
        const DadosNfse d = dados(c.documento, u"4311403"_s);
        const CorpoNfse corpo = c.servico == Servico::Recepcao ? p.recepcao(d, teste::marcaAssinatura())
                                : c.servico == Servico::Consultar
                                    ? p.consulta(d)
                                    : p.cancelamento(d, teste::marcaAssinatura());
        ASSERT_TRUE(corpo.recusa.isEmpty()) << corpo.recusa.toStdString();
        const EnvelopeNfse e = p.envelope(c.servico, c.endpoint, corpo.texto);
        EXPECT_EQ(e.texto, golden(QString::fromLatin1(c.arquivo)));
        EXPECT_EQ(e.soap12, c.grupo == GrupoNfse::Curitiba);
    }
}

// The rules of the lot: identifiers and numbers taken from the document, its name and the task.
TEST(ProvedoresNfse, LoteIdentificadoresENumeros) {
    const QString tecnos = teste::documentoNfse(u"declaracao_tecnos.xml"_s, u"4306809"_s);
    struct Caso {
        const char* caso;
        QString documento;
        GrupoNfse grupo;
        QString nomeBase;
        QString numeroLote;
        QString chave, idLote, numeroLoteEnviado;
    };
    QString tecnosSemLote = tecnos;
    tecnosSemLote.replace(u"Lote NFSe: 000123 "_s, QString());
    const Caso casos[] = {
        {"Tecnos: the lot number the declaration carries",
         tecnos,
         GrupoNfse::Tecnos,
         {},
         u"9"_s,
         u"ID11234567800019500000000000042"_s,
         u"12022D11234567800019500000000000042"_s,
         u"123"_s},
        {"Tecnos: the task's number without one",
         tecnosSemLote,
         GrupoNfse::Tecnos,
         {},
         u"9"_s,
         u"ID11234567800019500000000000042"_s,
         {},
         u"9"_s},
        {"Tecnos: characters 23 to 31 of the identifier without both",
         tecnosSemLote,
         GrupoNfse::Tecnos,
         {},
         {},
         u"ID11234567800019500000000000042"_s,
         {},
         u"42"_s},
        {"ABRASF 1: the name's last ten digits",
         teste::documentoNfse(u"rps_abrasf1.xml"_s, u"4311403"_s, u"51"_s),
         GrupoNfse::Thema,
         u"C:/Qel/test/DFe/NFSe0000004711"_s,
         {},
         u"77"_s,
         u"L4711"_s,
         u"4711"_s},
        {"ABRASF 1: the task's number for a name without digits",
         teste::documentoNfse(u"rps_abrasf1.xml"_s, u"4311403"_s, u"51"_s), GrupoNfse::Thema, u"NFSe-nota"_s,
         u"12"_s, u"77"_s, u"L12"_s, u"12"_s},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.caso);
        DadosNfse d = dados(c.documento, u"4311403"_s);
        d.nomeBase = c.nomeBase;
        d.numeroLote = c.numeroLote;
        const CorpoNfse corpo = provedor(c.grupo).recepcao(d, teste::marcaAssinatura());
        EXPECT_EQ(corpo.chave, c.chave);
        if (!c.idLote.isEmpty()) {
            EXPECT_TRUE(corpo.texto.contains(u"d=\""_s + c.idLote + u'"'))
                << corpo.texto.left(200).toStdString();
        }
        EXPECT_TRUE(corpo.texto.contains(u"<NumeroLote>"_s + c.numeroLoteEnviado + u"</NumeroLote>"_s))
            << corpo.texto.left(300).toStdString();
    }
}

TEST(ProvedoresNfse, DocumentoSemRpsEhRecusadoAntesDeAssinar) {
    bool assinou = false;
    const AssinadorNfse espia = [&](const QString& t, const LocalAssinatura&) -> std::optional<QString> {
        assinou = true;
        return t;
    };
    for (const GrupoNfse g : {GrupoNfse::Tecnos, GrupoNfse::Thema, GrupoNfse::Issnet, GrupoNfse::Curitiba}) {
        const CorpoNfse c = provedor(g).recepcao(dados(u"<Nota><Numero>1</Numero></Nota>"_s, {}), espia);
        EXPECT_FALSE(c.recusa.isEmpty());
    }
    EXPECT_FALSE(assinou);
}

// Requests signed for real: each validates against its provider's schema and its signature
// verifies with xmlsec1, where the layout puts it.
TEST(ProvedoresNfse, PedidosAssinadosValidamEVerificam) {
    PULA_SEM_REFERENCIA();
    const QString xsd = teste::pastaReferencia() + u"/schemas/nfse/"_s;
    const QString issnet = u"http://www.issnetonline.com.br/webserviceabrasf/vsd/"_s;
    const QString abrasf1 = teste::documentoNfse(u"rps_abrasf1.xml"_s, u"4311403"_s, u"51"_s);
    const QString curitibaDoc = teste::documentoNfse(u"rps_abrasf1.xml"_s, u"4106902"_s, u"1"_s);
    struct Caso {
        const char* caso;
        GrupoNfse grupo;
        Servico servico;
        QString documento;
        QString esquema;
        QString atributo, elemento, pai; // the signature; empty: unsigned
    };
    const Caso casos[] = {
        {"Thema lot", GrupoNfse::Thema, Servico::Recepcao, abrasf1, u"thema/nfse.xsd"_s, u"id"_s,
         u"LoteRps"_s, u"EnviarLoteRpsEnvio"_s},
        {"Thema consultation", GrupoNfse::Thema, Servico::Consultar, {}, u"thema/nfse.xsd"_s, {}, {}, {}},
        {"Thema cancellation",
         GrupoNfse::Thema,
         Servico::Cancelar,
         {},
         u"thema/nfse.xsd"_s,
         u"id"_s,
         u"InfPedidoCancelamento"_s,
         u"Pedido"_s},
        {"ISSNet lot", GrupoNfse::Issnet, Servico::Recepcao, teste::documentoNfse(u"rps_issnet.xml"_s),
         u"issnet_v1/servico_enviar_lote_rps_envio.xsd"_s, u"id"_s, u"LoteRps"_s, u"EnviarLoteRpsEnvio"_s},
        {"ISSNet consultation",
         GrupoNfse::Issnet,
         Servico::Consultar,
         {},
         u"issnet_v1/servico_consultar_nfse_rps_envio.xsd"_s,
         {},
         {},
         {}},
        {"ISSNet cancellation",
         GrupoNfse::Issnet,
         Servico::Cancelar,
         {},
         u"issnet_v1/servico_cancelar_nfse_envio.xsd"_s,
         u"id"_s,
         u"InfPedidoCancelamento"_s,
         u"Pedido"_s},
        {"Curitiba lot", GrupoNfse::Curitiba, Servico::Recepcao, curitibaDoc, u"curitiba/nfse.xsd"_s, u"id"_s,
         u"LoteRps"_s, u"EnviarLoteRpsEnvio"_s},
        {"Curitiba cancellation",
         GrupoNfse::Curitiba,
         Servico::Cancelar,
         {},
         u"curitiba/nfse.xsd"_s,
         u"id"_s,
         u"InfPedidoCancelamento"_s,
         u"Pedido"_s},
        {"Tecnos lot", GrupoNfse::Tecnos, Servico::Recepcao,
         teste::documentoNfse(u"declaracao_tecnos.xml"_s, u"4306809"_s),
         u"tecnos/EnviarLoteRpsSincronoEnvio.xsd"_s, u"Id"_s, u"InfDeclaracaoPrestacaoServico"_s,
         u"tcDeclaracaoPrestacaoServico"_s},
        {"Thema lot consultation",
         GrupoNfse::Thema,
         Servico::RetRecepcao,
         {},
         u"thema/nfse.xsd"_s,
         {},
         {},
         {}},
        {"ISSNet lot consultation",
         GrupoNfse::Issnet,
         Servico::RetRecepcao,
         {},
         u"issnet_v1/servico_consultar_lote_rps_envio.xsd"_s,
         {},
         {},
         {}},
        {"Curitiba lot consultation",
         GrupoNfse::Curitiba,
         Servico::RetRecepcao,
         {},
         u"curitiba/nfse.xsd"_s,
         {},
         {},
         {}},
        {"Tecnos cancellation",
         GrupoNfse::Tecnos,
         Servico::Cancelar,
         {},
         u"tecnos/CancelarNfseEnvio.xsd"_s,
         u"Id"_s,
         u"InfPedidoCancelamento"_s,
         u"Pedido"_s},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.caso);
        const ProvedorNfse& p = provedor(c.grupo);
        const DadosNfse d = dados(c.documento, c.grupo == GrupoNfse::Curitiba ? u"4106902"_s : u"4311403"_s);
        const CorpoNfse corpo = c.servico == Servico::Recepcao    ? p.recepcao(d, teste::assinaDeVerdade())
                                : c.servico == Servico::Consultar ? p.consulta(d)
                                : c.servico == Servico::RetRecepcao
                                    ? p.consultaLote(d)
                                    : p.cancelamento(d, teste::assinaDeVerdade());
        ASSERT_TRUE(corpo.recusa.isEmpty()) << corpo.recusa.toStdString();
        EXPECT_EQ(p.consultaLotes(), c.grupo != GrupoNfse::Tecnos);
        if (!c.atributo.isEmpty()) {
            EXPECT_EQ(teste::verificaComXmlsec(corpo.texto, c.atributo, c.elemento, c.pai), QString());
        }
        // Curitiba's messages travel in the namespace of its service description; its schema
        // describes the same elements under the city's own namespace.
        QString paraEsquema = corpo.texto;
        if (c.grupo == GrupoNfse::Curitiba)
            paraEsquema.replace(u"http://www.e-governeapps2.com.br/"_s,
                                u"http://isscuritiba.curitiba.pr.gov.br/iss/nfse.xsd"_s);
        EXPECT_EQ(teste::validaEsquema(paraEsquema.toUtf8(), xsd + c.esquema), QString());
    }
}

// The escaped form reaches the provider as the very text that was signed: "&" and "<" of the body
// both escaped, and the text read back out of the envelope is the body again.
TEST(ProvedoresNfse, FormaEscapadaDevolveOCorpoAssinado) {
    const DadosNfse d =
        dados(teste::documentoNfse(u"rps_abrasf1.xml"_s, u"4311403"_s, u"51"_s), u"4311403"_s);
    const CorpoNfse corpo = provedor(GrupoNfse::Thema).recepcao(d, teste::marcaAssinatura());
    ASSERT_TRUE(corpo.texto.contains(u"&amp; equipamentos"_s));
    const QString envelope =
        provedor(GrupoNfse::Thema)
            .envelope(Servico::Recepcao, endpoint(u"recepcionarLoteRpsLimitado"_s), corpo.texto)
            .texto;
    const qsizetype a = envelope.indexOf(u"<xml>"_s) + 5;
    QString texto = envelope.mid(a, envelope.indexOf(u"</xml>"_s) - a);
    EXPECT_FALSE(texto.contains(u'<'));
    texto.replace(u"&lt;"_s, u"<"_s)
        .replace(u"&gt;"_s, u">"_s)
        .replace(u"&quot;"_s, u"\""_s)
        .replace(u"&amp;"_s, u"&"_s);
    EXPECT_EQ(texto, u"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>"_s + corpo.texto);
}

TEST(ProvedoresNfse, IdentificacaoDoRps) {
    const struct {
        QString texto;
        IdentificacaoRps esperado;
    } casos[] = {
        {teste::documentoNfse(u"rps_abrasf1.xml"_s, u"4311403"_s), {u"77"_s, u"A1"_s, u"1"_s}},
        {teste::documentoNfse(u"rps_issnet.xml"_s), {u"215"_s, u"10"_s, u"1"_s}},
        {teste::documentoNfse(u"declaracao_tecnos.xml"_s, u"4306809"_s), {u"42"_s, u"UNICA"_s, u"1"_s}},
        {u"<tc:Rps xmlns:tc=\"urn:t\"><tc:IdentificacaoRps><tc:Numero>5</tc:Numero><tc:Serie>B</tc:Serie>"
         "<tc:Tipo>2</tc:Tipo></tc:IdentificacaoRps></tc:Rps>"_s,
         {u"5"_s, u"B"_s, u"2"_s}},
        {u"<Nota/>"_s, {}},
    };
    for (const auto& c : casos) {
        const IdentificacaoRps r = rpsDoDocumento(c.texto);
        EXPECT_EQ(r.numero, c.esperado.numero);
        EXPECT_EQ(r.serie, c.esperado.serie);
        EXPECT_EQ(r.tipo, c.esperado.tipo);
    }
}

// A copy still waiting means the provider has not taken the earlier exchange: neither file of it
// is replaced.
TEST(ProvedoresNfse, TrocaDeEstrelaNaoSobrescreveACopia) {
    QTemporaryDir pasta;
    const QString original = pasta.path() + u"/NFSe0000000042.XML"_s;
    teste::escreve(original, "<original/>");
    const QString troca = pasta.path() + u"/troca/temp"_s;
    const nfse::TrocaEstrela primeira =
        nfse::trocaArquivoEstrela(troca, u"<assinado>1</assinado>"_s, original);
    EXPECT_TRUE(primeira.erro.isEmpty());
    EXPECT_FALSE(primeira.copiaExistia);
    EXPECT_EQ(teste::le(troca + u"/NFSe0000000042.xml"_s), "<original/>");
    teste::escreve(original, "<outro/>");
    const nfse::TrocaEstrela segunda =
        nfse::trocaArquivoEstrela(troca, u"<assinado>2</assinado>"_s, original);
    EXPECT_TRUE(segunda.copiaExistia);
    EXPECT_EQ(teste::le(troca + u"/NFSe0000000042.xml"_s), "<original/>");
    EXPECT_EQ(teste::le(troca + u"/XML_Assinado.xml"_s), "<assinado>1</assinado>");
}

} // namespace
