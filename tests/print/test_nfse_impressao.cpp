// The printed NFS-e filled from a stored document: the rules of its values (rates given as
// fractions, the ISS withheld, the net value), the markers of the calling application's texts,
// the municipality's header and crest.

#include "print/nfse/nfse.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace qel;

namespace {

// Keeps the report the preview would show.
class Previa : public SaidaImpressao {
public:
    void visualiza(const Relatorio& relatorio, const QString&, bool) override { paginas = relatorio; }
    bool imprime(const Relatorio&, const QString&, int) override { return true; }
    QString pergunta(const QString&) override { return u"Nao"_s; }
    void status(const QString&) override {}
    Relatorio paginas;
};

// The form of a document (IMPRIMIR: the preview), as the memos hold it.
struct Formulario {
    Modelo pagina;
    QString operator[](const char* nome) const { return pagina.objeto(QString::fromLatin1(nome)).texto(); }
};

Formulario imprime(const QString& documento, const QString& cidadeEmpresa = u"Lajeado"_s) {
    ContextoImpressao ctx;
    ctx.tarefa = u"IMPRIMIR"_s;
    ctx.dadosEmpresa = {u"EMPRESA TESTE LTDA"_s,
                        u"Rua A, 1"_s,
                        cidadeEmpresa,
                        u"5137140000"_s,
                        u"95900000"_s,
                        u"nfse@empresa.example"_s,
                        u"Centro"_s,
                        u"ITEM DA LISTA 1401 Manutenção de máquinas"_s,
                        u"CNAE 3314710 Reparação de máquinas"_s};
    Previa previa;
    imprimeNfse(documento, ctx, ConfiguracaoEmpresa{}, previa);
    EXPECT_EQ(previa.paginas.paginas(), 1);
    return {previa.paginas.paginas() ? previa.paginas.pagina(0) : Modelo()};
}

// An nfseProc of the ABRASF 1.00 layout with the values given.
QString nota(const QString& valores, const QString& extra = {}, const QString& municipio = u"4311403"_s) {
    return u"<nfseProc xmlns=\"http://www.abrasf.org.br/ABRASF/arquivos/nfse.xsd\" "
           u"versao=\"1.00\"><EnviarLoteRpsEnvio>"
           "<LoteRps><ListaRps><Rps><InfRps id=\"R5\"><IdentificacaoRps><Numero>5</Numero></IdentificacaoRps>"
           "<DataEmissao>2026-12-10T10:00:00</DataEmissao><NaturezaOperacao>52</NaturezaOperacao><Servico><Valores>"_s +
           valores +
           u"</Valores><ItemListaServico>14.01</ItemListaServico><CodigoCnae>3314710</CodigoCnae>"
           "<Discriminacao>Conserto</Discriminacao><CodigoMunicipio>"_s +
           municipio +
           u"</CodigoMunicipio></Servico><Prestador><Cnpj>12345678000195</Cnpj><InscricaoMunicipal>77</"
           u"InscricaoMunicipal>"
           "</Prestador><Tomador><IdentificacaoTomador><CpfCnpj><Cpf>12345678909</Cpf></CpfCnpj></"
           "IdentificacaoTomador>"
           "<RazaoSocial>Fulano de Tal</RazaoSocial><Contato><Telefone>51999990000</Telefone>"
           "<Email>a@x.example;b@x.example</Email></Contato></Tomador>"_s +
           extra + u"</InfRps></Rps></ListaRps></LoteRps></EnviarLoteRpsEnvio></nfseProc>"_s;
}

TEST(ImpressaoNfse, ValoresAliquotaEIssRetido) {
    const struct {
        const char* caso;
        QString valores;
        QString aliquota, vlrIss, issRetido, vlrNota, base;
    } casos[] = {
        {"a rate as a fraction",
         u"<ValorServicos>100.00</ValorServicos><IssRetido>2</IssRetido><ValorIss>5.00</ValorIss>"
         "<Aliquota>0.05</Aliquota><ValorLiquidoNfse>100.00</ValorLiquidoNfse>"_s,
         u"5,00 %"_s, u"R$ 5,00"_s, u"R$ 0,00"_s, u"R$ 100,00"_s, u"R$ 100,00"_s},
        {"a rate as a percentage",
         u"<ValorServicos>100.00</ValorServicos><IssRetido>2</IssRetido><ValorIss>5.00</ValorIss>"
         "<Aliquota>5</Aliquota><ValorLiquidoNfse>100.00</ValorLiquidoNfse>"_s,
         u"5,00 %"_s, u"R$ 5,00"_s, u"R$ 0,00"_s, u"R$ 100,00"_s, u"R$ 100,00"_s},
        {"ISS withheld without the net value",
         u"<ValorServicos>100.00</ValorServicos><ValorDeducoes>10.00</ValorDeducoes><ValorPis>1.00</ValorPis>"
         "<IssRetido>1</IssRetido><ValorIss>5.00</ValorIss><Aliquota>0.05</Aliquota>"_s,
         u"5,00 %"_s, u"R$ 0,00"_s, u"R$ 5,00"_s, u"R$ 94,00"_s, u"R$ 90,00"_s},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.caso);
        const Formulario f = imprime(nota(c.valores));
        EXPECT_EQ(f["Aliquota"], c.aliquota);
        EXPECT_EQ(f["Vlr_ISS"], c.vlrIss);
        EXPECT_EQ(f["ISS_Retido"], c.issRetido);
        EXPECT_EQ(f["Vlr_Nota"], c.vlrNota);
        EXPECT_EQ(f["Base_ISS"], c.base);
    }
}

TEST(ImpressaoNfse, CabecalhoTomadorEMarcadores) {
    const Formulario f = imprime(
        nota(u"<ValorServicos>1</ValorServicos><IssRetido>2</IssRetido>"_s,
             u"<OutrasInformacoes>Pedido 7|(CID)Arroio do Meio;RS|Obra da escola</OutrasInformacoes>"_s));
    EXPECT_EQ(f["Prefeitura"], u"Estado do Rio Grande do Sul\nPrefeitura de Lajeado\nSecretaria da Fazenda\n"
                               "Nota Fiscal de Serviços Eletrônica - NFSe"_s);
    // Without the protocol the RPS gives number and emission (the older layout, InfRps).
    EXPECT_EQ(f["Numero"], u"5"_s);
    EXPECT_EQ(f["Emissao"], u"10/12/2026 - 10:00:00"_s);
    EXPECT_EQ(f["Natureza"], u"52 - Imposto devido em Lajeado, sem obrigação de retenção na fonte."_s);
    EXPECT_EQ(f["Tom_Doc1"], u"123.456.789-09"_s);
    EXPECT_EQ(f["Tom_Email"], u"a@x.example;"_s);
    EXPECT_EQ(f["Identificacao"], u"Fulano de Tal 51 99999 0000"_s);
    EXPECT_EQ(f["Prest_Cidade2"], u"Arroio do Meio  -  RS"_s);
    EXPECT_EQ(f["Dados_Adicionais"], u"Pedido 7\nObra da escola"_s);
    EXPECT_EQ(f["Item"], u"1401 - Manutenção de máquinas"_s);
    EXPECT_EQ(f["CNAE"], u"3314710 - Reparação de máquinas"_s);
    EXPECT_FALSE(f.pagina.objeto(u"Brasao"_s).imagem.isNull());

    // The state of the header is the municipality's, not always Rio Grande do Sul.
    const Formulario curitiba =
        imprime(nota(u"<ValorServicos>1</ValorServicos>"_s, {}, u"4106902"_s), u"Curitiba"_s);
    EXPECT_TRUE(curitiba["Prefeitura"].startsWith(u"Estado do Paraná\nPrefeitura de Curitiba"_s));
    EXPECT_TRUE(brasaoMunicipio(u"3550308"_s).isNull());
}

TEST(ImpressaoNfse, NumeroDoProtocoloEmQualquerForma) {
    const QString protocolo =
        u"<protNfse versao=\"1.00\"><infProt Id=\"9\"><tpAmb>2</tpAmb><DataRecebimento>"
        "2026-11-30T08:09:10-03:00</DataRecebimento><CodigoVerificacao>AB12</CodigoVerificacao>"
        "<NumeroNota>%1</NumeroNota></infProt></protNfse></nfseProc>"_s;
    for (const QString& numero : {u"<Numero>202600000000003</Numero>"_s, u"202600000000003"_s}) {
        QString documento = nota(u"<ValorServicos>1</ValorServicos>"_s);
        documento.replace(u"</nfseProc>"_s, protocolo.arg(numero));
        const Formulario f = imprime(documento);
        EXPECT_EQ(f["Numero"], u"202600000000003"_s);
        EXPECT_EQ(f["Numero1"], u"202600000000003"_s);
        EXPECT_EQ(f["Verificacao1"], u"AB12"_s);
        EXPECT_EQ(f["Emissao"], u"30/11/2026 - 08:09:10"_s);
        EXPECT_EQ(f["Aviso"], u"EMITIDA EM HOMOLOGAÇÃO - SEM VALOR FISCAL"_s);
    }
}

} // namespace
