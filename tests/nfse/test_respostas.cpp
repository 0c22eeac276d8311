// What the program reads of the providers' answers (by local name, whatever the prefix or the
// namespace declarations), the key it gives an NFS-e, the stored documents and the municipalities.

#include "nfse/municipios.h"
#include "nfse/nota.h"
#include "nfse/resposta.h"
#include "nfse_teste.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace qel;

namespace {

QString escapado(const QString& operacao, const QString& documento) {
    QString e = documento;
    e.replace(u'&', u"&amp;"_s).replace(u'<', u"&lt;"_s);
    return u"<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body><"_s +
           operacao + u"Response xmlns=\"urn:provedor\"><"_s + operacao + u"Result>"_s + e + u"</"_s +
           operacao + u"Result></"_s + operacao + u"Response></soap:Body></soap:Envelope>"_s;
}

struct Esperado {
    bool lida = true;
    bool recusada = false;
    QString codigos, protocolo, numero, verificacao;
    bool cancelada = false;
};

void confere(const RespostaNfse& r, const Esperado& e) {
    EXPECT_EQ(r.lida, e.lida);
    EXPECT_EQ(r.recusada(), e.recusada);
    EXPECT_EQ(r.codigos(), e.codigos);
    EXPECT_EQ(r.protocolo, e.protocolo);
    EXPECT_EQ(r.numeroNfse, e.numero);
    EXPECT_EQ(r.codigoVerificacao, e.verificacao);
    EXPECT_EQ(r.cancelada, e.cancelada);
}

TEST(RespostasNfse, CodigoDeErroComOuSemPrefixoOuNamespace) {
    const QString ns = u"http://www.abrasf.org.br/ABRASF/arquivos/nfse.xsd"_s;
    const struct {
        const char* caso;
        QString corpo;
        Esperado esperado;
    } casos[] = {
        {"plain, escaped, ISO-8859-1 declaration",
         escapado(
             u"recepcionarLoteRps"_s,
             u"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><EnviarLoteRpsResposta xmlns=\""_s + ns +
                 u"\"><ListaMensagemRetorno><MensagemRetorno><Codigo>E515</Codigo><Mensagem>Assinatura "
                 "inválida</Mensagem></MensagemRetorno></ListaMensagemRetorno></EnviarLoteRpsResposta>"_s),
         {true, true, u"E515"_s, {}, {}, {}, false}},
        {"types under a prefix (ISSNet)",
         escapado(u"RecepcionarLoteRps"_s,
                  u"<EnviarLoteRpsResposta xmlns=\"urn:issnet\" xmlns:tc=\"urn:tipos\"><ListaMensagemRetorno>"
                  "<tc:MensagemRetorno><tc:Codigo>E160</tc:Codigo><tc:Mensagem>Schema</tc:Mensagem>"
                  "</tc:MensagemRetorno></ListaMensagemRetorno></EnviarLoteRpsResposta>"_s),
         {true, true, u"E160"_s, {}, {}, {}, false}},
        {"the code declaring a namespace of its own",
         escapado(u"x"_s, u"<EnviarLoteRpsResposta><ListaMensagemRetorno><MensagemRetorno><Codigo "
                          "xmlns=\"urn:outro\">E10</Codigo></MensagemRetorno></ListaMensagemRetorno>"
                          "</EnviarLoteRpsResposta>"_s),
         {true, true, u"E10"_s, {}, {}, {}, false}},
        {"typed elements with a prefix, no escaping",
         u"<s:Envelope "
         u"xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\"><s:Body><RecepcionarLoteRpsResponse "
         "xmlns=\"http://www.e-governeapps2.com.br/\"><RecepcionarLoteRpsResult><ns2:NumeroLote "
         "xmlns:ns2=\"urn:x\">5"
         "</ns2:NumeroLote><DataRecebimento>2026-12-10T10:00:00</DataRecebimento><Protocolo>778899</"
         "Protocolo>"
         "<ListaMensagemRetorno><MensagemRetorno/></ListaMensagemRetorno></RecepcionarLoteRpsResult>"
         "</RecepcionarLoteRpsResponse></s:Body></s:Envelope>"_s,
         {true, false, {}, u"778899"_s, {}, {}, false}},
        {"the message in a CDATA section",
         u"<soap:Envelope "
         u"xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body><mEnvioResponse "
         "xmlns=\"http://tempuri.org/\"><mEnvioResult><![CDATA[<EnviarLoteRpsSincronoResposta "
         "xmlns=\"http://www."
         "abrasf.org.br/nfse.xsd\"><Protocolo>12</"
         "Protocolo><ListaNfse><CompNfse><Nfse><InfNfse><Numero>202600000000009"
         "</Numero><CodigoVerificacao>AB12</CodigoVerificacao></InfNfse></Nfse></CompNfse></ListaNfse>"
         "</EnviarLoteRpsSincronoResposta>]]></mEnvioResult></mEnvioResponse></soap:Body></soap:Envelope>"_s,
         {true, false, {}, u"12"_s, u"202600000000009"_s, u"AB12"_s, false}},
        {"an ABRASF 2 lot refused as a whole (ListaMensagemRetornoLote, in CDATA)",
         u"<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body>"
         "<mEnvioResponse xmlns=\"http://tempuri.org/\"><mEnvioResult><![CDATA["
         "<EnviarLoteRpsSincronoResposta xmlns=\"http://www.abrasf.org.br/nfse.xsd\">"
         "<NumeroLote>12</NumeroLote><ListaMensagemRetornoLote><MensagemRetorno><IdentificacaoRps>"
         "<Numero>42</Numero><Serie>UNICA</Serie><Tipo>1</Tipo></IdentificacaoRps><Codigo>E10</Codigo>"
         "<Mensagem>RPS ja informado</Mensagem></MensagemRetorno></ListaMensagemRetornoLote>"
         "</EnviarLoteRpsSincronoResposta>]]></mEnvioResult></mEnvioResponse></soap:Body></soap:Envelope>"_s,
         {true, true, u"E10"_s, {}, {}, {}, false}},
        {"E500 beside the protocol is no refusal",
         escapado(u"r"_s,
                  u"<EnviarLoteRpsResposta><Protocolo>5</Protocolo><ListaMensagemRetorno><MensagemRetorno>"
                  "<Codigo>E500</Codigo></MensagemRetorno></ListaMensagemRetorno></EnviarLoteRpsResposta>"_s),
         {true, false, u"E500"_s, u"5"_s, {}, {}, false}},
        {"an alert is no error",
         escapado(u"r"_s,
                  u"<EnviarLoteRpsSincronoResposta><Protocolo>6</Protocolo><ListaMensagemAlertaRetorno>"
                  "<MensagemRetorno><Codigo>A1</Codigo></MensagemRetorno></ListaMensagemAlertaRetorno>"
                  "</EnviarLoteRpsSincronoResposta>"_s),
         {true, false, {}, u"6"_s, {}, {}, false}},
        {"the failure line of a call that got no answer",
         u"Nao foi possivel acessar o WebService.Verifique sinal de internet, ou outro bloqueio ao "
         u"servico.Site de "
         "acesso: https://x"_s,
         {false, false, {}, {}, {}, {}, false}},
        {"ABRASF 2 cancellation confirmed",
         escapado(u"c"_s,
                  u"<CancelarNfseResposta><RetCancelamento><NfseCancelamento><Confirmacao Id=\"C1\"><Pedido>"
                  "</Pedido><DataHora>2026-12-10T10:00:00</DataHora></Confirmacao></NfseCancelamento>"
                  "</RetCancelamento></CancelarNfseResposta>"_s),
         {true, false, {}, {}, {}, {}, true}},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.caso);
        confere(leRespostaNfse(c.corpo), c.esperado);
    }
    const RespostaNfse falha = leRespostaNfse(
        u"<soap:Envelope "
        u"xmlns:soap=\"http://www.w3.org/2003/05/soap-envelope\"><soap:Body><soap:Fault><soap:Reason>"
        "<soap:Text>Server was unable to process request.</soap:Text></soap:Reason></soap:Fault></soap:Body>"
        "</soap:Envelope>"_s);
    EXPECT_EQ(falha.falha, u"Server was unable to process request."_s);
    EXPECT_FALSE(falha.recusada());
}

// The real answers of a Thema homologation service.
TEST(RespostasNfse, RespostasReaisDoThema) {
    PULA_SEM_REFERENCIA();
    const QString pasta = teste::pastaReferencia() + u"/samples/nfse/"_s;
    const struct {
        const char* arquivo;
        Esperado esperado;
    } casos[] = {
        {"thema/recepcao_lote_rps_limitado_success.xml", {true, false, {}, u"2916417"_s, {}, {}, false}},
        {"thema/recepcao_lote_rps_error.xml", {true, true, u"E515"_s, {}, {}, {}, false}},
        {"thema/consulta_nfse_por_rps_nfse_complete.xml",
         {true, false, {}, {}, u"201600000000003"_s, u"1004156850"_s, false}},
        {"thema/consulta_nfse_por_rps_fault.xml", {true, true, u"E89, E89"_s, {}, {}, {}, false}},
        {"thema/cancela_nfse_success.xml", {true, false, {}, {}, {}, {}, true}},
        // A refusal carries the confirmation with an empty date beside its message.
        {"thema/cancela_nfse_fault.xml", {true, true, u"E505"_s, {}, {}, {}, false}},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.arquivo);
        confere(leRespostaNfse(QString::fromUtf8(teste::le(pasta + QString::fromLatin1(c.arquivo)))),
                c.esperado);
    }
}

// A lot's consultation refuses the lot only with errors that are final: the codes that say the
// lot or its RPS is not in the provider's base, or not processed, yet leave it to be asked again.
TEST(RespostasNfse, LoteRecusadoSoPorErroDefinitivo) {
    const auto lote = [](const QString& conteudo) {
        return leRespostaNfse(escapado(u"consultarLoteRps"_s, u"<ConsultarLoteRpsResposta xmlns=\""_s +
                                                                  kNsAbrasf1 + u"\">"_s + conteudo +
                                                                  u"</ConsultarLoteRpsResposta>"_s));
    };
    const auto mensagem = [](const QString& codigo) {
        return u"<ListaMensagemRetorno><MensagemRetorno><Codigo>"_s + codigo +
               u"</Codigo><Mensagem>m</Mensagem></MensagemRetorno></ListaMensagemRetorno>"_s;
    };
    const struct {
        QString conteudo;
        bool recusado;
    } casos[] = {
        {mensagem(u"E116"_s), true},
        {mensagem(u"E92"_s), false},
        {mensagem(u"E4"_s), false},
        {mensagem(u"E86"_s), false},
        {u"<ListaNfse/>"_s, false},
        {u"<ListaNfse><CompNfse><Nfse><InfNfse><Numero>201600000000003</Numero></InfNfse></Nfse></CompNfse>"
         "</ListaNfse>"_s,
         false},
    };
    for (const auto& c : casos) {
        EXPECT_EQ(lote(c.conteudo).loteRecusado(), c.recusado) << c.conteudo.toStdString();
    }
}

TEST(RespostasNfse, ChaveNoLeiauteNacional) {
    const QDate hoje(2026, 12, 10);
    const struct {
        QString uf, data, cnpj, rps, chave;
    } casos[] = {
        // A Thema answer received in May 2024, RPS 77.
        {u"43"_s, u"2024-05-21T10:11:12.345Z"_s, u"12345678000195"_s, u"77"_s,
         u"43240512345678000195NS000000000077000000077X"_s},
        {u"41"_s, u"2026-12-10"_s, u"12.345.678/0001-95"_s, u"R000000042"_s,
         u"41261212345678000195NS000000000042000000042X"_s},
        // A date that is not one (a failure text) never makes the period: the run's day does.
        {u"43"_s, u"Nao foi possivel acessar o WebService"_s, u"12345678000195"_s, u"5"_s,
         u"43261212345678000195NS000000000005000000005X"_s},
        // An alphanumeric CNPJ keeps its letters.
        {u"43"_s, u"2027-01-02T00:00:00"_s, u"12ABC34501DE35"_s, u"1"_s,
         u"432701"_s + u"12ABC34501DE35"_s + u"NS000000000001000000001X"_s},
    };
    for (const auto& c : casos) {
        const QString chave = chaveNfse(c.uf, c.data, hoje, c.cnpj, c.rps);
        EXPECT_EQ(chave, c.chave);
        EXPECT_EQ(chave.size(), 44);
    }
    EXPECT_EQ(numeroNota(u"202600000000001"_s, true), u"<Numero>202600000000001</Numero>"_s);
    EXPECT_EQ(numeroNota(u"00123"_s, false), u"000000123"_s);
}

// The stored NFS-e keeps the lot as it was signed: its root declares no namespace beyond its own
// default, so the signature verifies in the stored file.
TEST(RespostasNfse, NfseProcGuardaOLoteVerificavel) {
    const QString documento = teste::documentoNfse(u"declaracao_tecnos.xml"_s, u"4306809"_s);
    DadosNfse d;
    d.documento = documento;
    d.cnpj = u"12345678000195"_s;
    d.inscricaoMunicipal = u"8472"_s;
    const CorpoNfse lote = provedorNfse(GrupoNfse::Tecnos)->recepcao(d, teste::assinaDeVerdade());
    ASSERT_TRUE(lote.recusa.isEmpty());
    RespostaNfse recepcao;
    recepcao.protocolo = u"143260000000004"_s;
    recepcao.numeroLote = u"123"_s;
    recepcao.dataRecebimento = u"2026-12-10T10:00:00-03:00"_s;
    RespostaNfse nota;
    nota.codigoVerificacao = u"0AE7<2"_s;
    const QString proc =
        montaNfseProc(lote.texto, recepcao, nota, numeroNota(u"9"_s, true), Ambiente::Homologacao);
    EXPECT_TRUE(proc.startsWith(u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><nfseProc xmlns=\""_s +
                                kNsAbrasf1 + u"\" versao=\"1.00\"><EnviarLoteRpsSincronoEnvio"_s));
    EXPECT_TRUE(
        proc.contains(u"<CodigoVerificacao>0AE7&lt;2</CodigoVerificacao><NumeroNota><Numero>9</Numero>"
                      "</NumeroNota>"_s));
    EXPECT_TRUE(proc.contains(u"<tpAmb>2</tpAmb>"_s));
    EXPECT_EQ(teste::verificaComXmlsec(proc, u"Id"_s, u"InfDeclaracaoPrestacaoServico"_s,
                                       u"tcDeclaracaoPrestacaoServico"_s),
              QString());
}

TEST(MunicipiosNfse, TabelaEDeteccaoPeloDocumento) {
    const struct {
        QString codigo;
        GrupoNfse grupo;
        QString cUF;
    } tabela[] = {
        {u"4311403"_s, GrupoNfse::Thema, u"43"_s},    {u"4306809"_s, GrupoNfse::Tecnos, u"43"_s},
        {u"4312054"_s, GrupoNfse::Tecnos, u"43"_s},   {u"4313409"_s, GrupoNfse::Issnet, u"43"_s},
        {u"4106902"_s, GrupoNfse::Curitiba, u"41"_s}, {u"4205407"_s, GrupoNfse::Florianopolis, u"42"_s},
        {u"8653"_s, GrupoNfse::Estrela, u"43"_s},     {u"4310363"_s, GrupoNfse::SemServico, u"43"_s},
        {u"3550308"_s, GrupoNfse::Nenhum, {}},
    };
    for (const auto& t : tabela) {
        EXPECT_EQ(grupoNfse(t.codigo), t.grupo) << t.codigo.toStdString();
        if (const MunicipioNfse* m = municipioNfse(t.codigo)) {
            EXPECT_EQ(m->cUF, t.cUF);
        }
    }
    // The document names its municipality wherever its layout puts it.
    EXPECT_EQ(municipioDoDocumento(teste::documentoNfse(u"rps_abrasf1.xml"_s, u"4316808"_s)), u"4316808"_s);
    EXPECT_EQ(municipioDoDocumento(teste::documentoNfse(u"rps_issnet.xml"_s)), u"4313409"_s);
    EXPECT_EQ(municipioDoDocumento(teste::documentoNfse(u"declaracao_tecnos.xml"_s, u"4306205"_s)),
              u"4306205"_s);
    EXPECT_EQ(municipioDoDocumento(teste::documentoNfse(u"rps_abrasf1.xml"_s, u"3550308"_s)), QString());
    // A new municipality of a known group is a row; a row not understood is said.
    QList<MunicipioNfse> t;
    const QStringList erros =
        leMunicipiosNfse(u"4314902 43 thema Porto Alegre\n4314100 43 ipm Passo Fundo\n"_s, u"teste"_s, t);
    ASSERT_EQ(t.size(), 1);
    EXPECT_EQ(t.first().nome, u"Porto Alegre"_s);
    EXPECT_EQ(t.first().grupo, GrupoNfse::Thema);
    EXPECT_EQ(erros, QStringList{u"teste:2: 4314100 43 ipm Passo Fundo"_s});
}

} // namespace
