// The transport-operation receipt: what each box shows for a stored ciotProc, read from the filled
// page the output stage receives, and the way out (preview, one copy, PDF).

#include "apoio.h"
#include "print/dot/recibo_dot.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace qel;

namespace {

class SaidaGuardada : public SaidaImpressao {
public:
    void visualiza(const Relatorio& r, const QString&, bool comDialogo) override {
        relatorio = r;
        previas.append(comDialogo);
    }
    bool imprime(const Relatorio& r, const QString&, int n) override {
        relatorio = r;
        copias.append(n);
        return true;
    }
    QString pergunta(const QString&) override { return u"Sim"_s; }
    void status(const QString& linha) override { linhas.append(linha); }

    Relatorio relatorio;
    QList<bool> previas;
    QList<int> copias;
    QStringList linhas;
};

// A stored ciotProc around the parts of an operation (inside infOT) and of its registration.
QString proc(const QString& operacao, const QString& autorizacao = {}) {
    return u"<ciotProc xmlns=\"http://www.nddigital.com.br/nddcargo\"><loteOT_envio><operacoes><OT><infOT Id=\"g\">"_s +
           operacao + u"</infOT></OT></operacoes></loteOT_envio><autorizacao><cnpj>12345678000195</cnpj>"_s +
           u"<dataEmissao>2026-12-01T10:00:00-03:00</dataEmissao>"_s + autorizacao +
           u"</autorizacao></ciotProc>"_s;
}

QString documentos(int quantos) {
    QString d = u"<documentosOriginarios>"_s;
    for (int i = 1; i <= quantos; ++i)
        d += u"<documento><tipo>T"_s + QString::number(i) + u"</tipo><numero>N"_s + QString::number(i) +
             u"</numero></documento>"_s;
    return d + u"</documentosOriginarios>"_s;
}

QString adicionais(const QString& nome, const QString& valor) {
    return u"<adicionais><adicional><nome>"_s + nome + u"</nome><valor>"_s + valor +
           u"</valor></adicional></adicionais>"_s;
}

class ReciboDot : public ::testing::Test {
protected:
    // The page filled for the task (no PDF: no document base name).
    const Modelo& pagina(const QString& documento, const QString& tarefa = u"Imprimir"_s) {
        ctx.tarefa = tarefa;
        ctx.dadosEmpresa = QStringList{u"TRANSPORTES EXEMPLO LTDA"_s};
        EXPECT_TRUE(imprimeReciboDot(documento, ctx, cfg, saida));
        return saida.relatorio.pagina(0);
    }
    static QStringList linhas(const Modelo& m, const QString& objeto) { return m.objeto(objeto).linhas; }
    static QString texto(const Modelo& m, const QString& objeto) { return m.objeto(objeto).texto(); }

    ContextoImpressao ctx;
    ConfiguracaoEmpresa cfg;
    SaidaGuardada saida;
};

TEST_F(ReciboDot, CabecalhoPartesEValores) {
    const Modelo& m = pagina(
        proc(u"<ide><cnpj>12345678000195</cnpj><serie>1</serie><numero>89</numero><dtInicio>2026-12-01</"
             u"dtInicio></ide>"
             "<transp><razaoSocial></razaoSocial><nomeCompleto>JOAO DA "
             "SILVA</nomeCompleto><cpfTransportador>12345678909"
             "</cpfTransportador><rntrc>123</rntrc><gestoraCartao>G &amp; C</gestoraCartao></transp>"
             "<condutor><nomeCompleto>PEDRO</nomeCompleto><cpf>98765432100</cpf><RNTRCTransportador>456"
             "</RNTRCTransportador></condutor><veiculos><veiculo><placa>ABC1D23</placa></"
             "veiculo><veiculo><placa>XYZ"
             "</placa></veiculo></veiculos><valores><vlrFrete>1000.00</vlrFrete><vlrCombustivel>200.00</"
             "vlrCombustivel>"
             "<vlrDespesas>0</vlrDespesas><quantidadeTotal>2</quantidadeTotal><valorTotal>50.00</"
             "valorTotal><irrf>15.00"
             "</irrf><inss>0</inss><sestsenat>10.00</sestsenat></valores>"_s,
             u"<ciot><numero>900000000002</numero><ciotCodVerificador>0002</ciotCodVerificador></ciot>"_s));
    const struct {
        const char* objeto;
        const char* valor;
    } casos[] = {
        {"Ciot", "900000000002/0002"},
        {"Data_Emissao", "2026-12-01T10:00:00-03:00"},
        {"Nome_Contratante", "TRANSPORTES EXEMPLO LTDA"},
        {"Responsavel_Pagamento", "TRANSPORTES EXEMPLO LTDA"},
        {"CNPJ_Contratante", "12345678000195"},
        {"Serie", "1"},
        {"Numero", "89"},
        {"Data_Inicio", "2026-12-01"},
        {"Tipo_Viagem", "Padrao"},
        {"Nome_Contratado", "JOAO DA SILVA"}, // no company name: the person's
        {"Doc_Contratado", "12345678909"},
        {"Gestora_Cartao", "G & C"},
        {"Nome_Condutor", "PEDRO"},
        {"RNTRC_Condutor", "456"},
        {"Placa", "ABC1D23"},
        {"Vlr_Frete", "1.000,00"},
        {"Qtd_Tarifas", "2"},
        {"Tot_Vencimentos", "1.250,00"},
        {"Tot_Descontos", "0,00"},
        {"Tot_Impostos_Retidos", "25,00"},
        {"Tot_Receber", "1.225,00"},
        {"Ped_Valor", ""}, // no toll value
        {"Ped_Categoria", ""},
    };
    for (const auto& c : casos)
        EXPECT_EQ(texto(m, QString::fromUtf8(c.objeto)), QString::fromUtf8(c.valor)) << c.objeto;
    EXPECT_FALSE(m.objeto(u"Barras"_s).simbolo.vazio());
    EXPECT_EQ(saida.previas, QList<bool>{false}) << "IMPRIMIR: the preview alone";
}

TEST_F(ReciboDot, DocumentosEmDuasColunas) {
    const struct {
        int quantos;
        int esquerda, direita;
    } casos[] = {{0, 0, 0}, {9, 9, 0}, {12, 9, 3}, {25, 9, 11}};
    for (const auto& c : casos) {
        SCOPED_TRACE(c.quantos);
        const Modelo& m = pagina(proc(documentos(c.quantos)));
        EXPECT_EQ(texto(m, u"Doc_Tipos1"_s).isEmpty() ? 0 : linhas(m, u"Doc_Tipos1"_s).size(), c.esquerda);
        EXPECT_EQ(texto(m, u"Doc_Numeros2"_s).isEmpty() ? 0 : linhas(m, u"Doc_Numeros2"_s).size(), c.direita);
        if (c.direita > 0) {
            EXPECT_EQ(linhas(m, u"Doc_Tipos2"_s).first(), u"T10"_s);
        }
    }
}

TEST_F(ReciboDot, ParcelasPedagioEDadosAdicionais) {
    QString vinte;
    for (int i = 1; i <= 20; ++i)
        vinte += (i > 1 ? u"|L"_s : u"L"_s) + QString::number(i);
    const QString parcelas =
        u"<parcelamento><parcela><nome>Adiantamento</nome><valorAplicado>400.00</valorAplicado>"
        "<dataPrevisao>2026-12-02</dataPrevisao></parcela><parcela><nome>Saldo</nome>"
        "<valorAplicado>750.00</valorAplicado><dataPrevisao>2026-12-20</dataPrevisao></parcela>"
        "<parcela><nome>Estadia</nome><valorAplicado>75.00</valorAplicado></parcela>"
        "</parcelamento><rota><rotaERP>POA-CXS</rotaERP></rota>"
        "<transp><categoriaPedagio>3</categoriaPedagio></transp>"_s;
    const Modelo& m =
        pagina(proc(parcelas + u"<valores><vlrPedagio>9.99</vlrPedagio></valores>"_s +
                    adicionais(u"Dados Adicionais"_s, u"Entrega urgente|(Qel) TAG 123456 - 15.30|Outro"_s)));
    EXPECT_EQ(linhas(m, u"Parc_Descricao"_s),
              (QStringList{u"Adiantamento"_s, u"Saldo"_s, u"Estadia"_s, u""_s}));
    EXPECT_EQ(linhas(m, u"Parc_Valor"_s), (QStringList{u"400.00"_s, u"750.00"_s, u"75.00"_s, u""_s}));
    EXPECT_EQ(linhas(m, u"Parc_Docs"_s), (QStringList{u"-"_s, u"-"_s, u"-"_s, u""_s}));
    EXPECT_EQ(linhas(m, u"Parc_Liberacao"_s).count(u"Posto Credenciado"_s), 3);
    EXPECT_EQ(linhas(m, u"Parc_Previsao"_s), (QStringList{u"2026-12-02"_s, u"2026-12-20"_s, u""_s, u""_s}));
    EXPECT_EQ(texto(m, u"Ped_Rota"_s), u"POA-CXS"_s);
    EXPECT_EQ(texto(m, u"Ped_Categoria"_s), u"( 3 ) 3 eixos"_s);
    EXPECT_EQ(texto(m, u"Ped_Autorizacao"_s), u" 123456 "_s);
    EXPECT_EQ(texto(m, u"Ped_Valor"_s), u"15,30"_s) << "the tag's value replaces the toll value";
    EXPECT_EQ(linhas(m, u"Dados_Adicionais"_s), (QStringList{u"Entrega urgente"_s, u""_s, u"Outro"_s}));

    const Modelo& longo = pagina(proc(adicionais(u"Dados Adicionais"_s, vinte)));
    EXPECT_EQ(linhas(longo, u"Dados_Adicionais"_s).size(), 16);
    EXPECT_EQ(linhas(longo, u"Dados_Adicionais2"_s), (QStringList{u"L17"_s, u"L18"_s, u"L19"_s, u"L20"_s}));
    EXPECT_TRUE(texto(longo, u"Parc_Descricao"_s).isEmpty());

    const Modelo& outro = pagina(proc(adicionais(u"Observacoes"_s, u"(Qel) TAG 1 - 2.00|x"_s)));
    EXPECT_TRUE(texto(outro, u"Dados_Adicionais"_s).isEmpty());
    EXPECT_TRUE(texto(outro, u"Ped_Autorizacao"_s).isEmpty());
}

TEST_F(ReciboDot, CategoriaETagDoPedagio) {
    const struct {
        const char* categoria;
        const char* texto;
    } categorias[] = {{"3", "( 3 ) 3 eixos"}, {"7", "( 7 ) 2 eixos"}, {"5", "( 5 ) 5 eixos"}, {"", ""}};
    for (const auto& c : categorias)
        EXPECT_EQ(categoriaPedagio(QString::fromUtf8(c.categoria)), QString::fromUtf8(c.texto));

    const struct {
        const char* dados;
        const char *resto, *autorizacao, *valor;
    } tags[] = {
        {"Entrega urgente|(Qel) TAG 123456 - 15.30|Outro", "Entrega urgente||Outro", " 123456 ", " 15.30"},
        {"(Qel) TAG AB-12-7 - 3,5|x", "x", " AB-12-7 ", " 3,5"},
        // Without a value the rest is the authorisation; without the tag, nothing is taken.
        {"(Qel) TAG 999", "", " 999", ""},
        {"Sem tag", "Sem tag", "", ""},
    };
    for (const auto& t : tags) {
        SCOPED_TRACE(t.dados);
        const TagPedagio tag = tagPedagio(QString::fromUtf8(t.dados));
        EXPECT_EQ(tag.dados, QString::fromUtf8(t.resto));
        EXPECT_EQ(tag.autorizacao, QString::fromUtf8(t.autorizacao));
        EXPECT_EQ(tag.valor, QString::fromUtf8(t.valor));
    }
}

TEST_F(ReciboDot, SaidaPorTarefa) {
    QTemporaryDir pasta;
    ctx.nomeBase = pasta.path() + u"/DOT0000000089"_s;
    ctx.nomePdfTarefa = pasta.path() + u"/recibo.pdf"_s;
    cfg.NFe_Copias = u"3"_s;
    pagina(proc({}), u"Recepcao"_s);
    EXPECT_EQ(saida.copias, QList<int>{1}) << "one copy, whatever the settings";
    EXPECT_EQ(ctx.pdfsGerados, QStringList{ctx.nomePdfTarefa});
    EXPECT_EQ(ctx.prefixoPdf, u"C:\\Qel\\Evento_DFe"_s);

    saida.copias.clear();
    cfg.NFe_Copias = u"0"_s;
    pagina(proc({}), u"Recepcao"_s);
    EXPECT_EQ(saida.previas, QList<bool>{true}) << "no copies set: the preview with the printer dialog";
    pagina(proc({}), u"Gerar PDF"_s);
    EXPECT_TRUE(saida.copias.isEmpty());
    EXPECT_EQ(saida.previas.size(), 1);

    // A toll voucher's proc has no receipt.
    ContextoImpressao outro;
    EXPECT_FALSE(imprimeReciboDot(u"<tagProc><x/></tagProc>"_s, outro, cfg, saida));
}

} // namespace
