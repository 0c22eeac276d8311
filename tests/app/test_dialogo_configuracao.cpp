// The configuration dialog itself, off-screen: its tabs and captions, and that what the user
// sets in it reaches the settings record when F10 or the button saves; the contingency setting
// through the settings files the run reads.

#include "apoio.h"
#include "app/janelas/dialogo_configuracao.h"
#include "flows/contingencia.h"
#include "ws/rede.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace qel;

namespace {

struct AcoesContadas : AcoesConfiguracao {
    int salvos = 0;
    bool selecionaCertificado(UsoCertificado) override { return true; }
    QString escolheImpressora() override { return u"QelPDF"_s; }
    void salva() override { ++salvos; }
};

ContextoExecucao contexto(const QString& cnpj = u"12.345.678/0001-95"_s) {
    ContextoExecucao ctx;
    ctx.CNPJ = cnpj;
    ctx.PastaTrabalho = u"/srv/DFe/"_s;
    ctx.PastaLocal = u"/home/caixa/Qel/test/DFe/"_s;
    return ctx;
}

// Runs the modal dialog, doing the steps once it is shown.
void comDialogo(TfQel_DFe_002& dialogo, ConfiguracaoEmpresa& cfg, AcoesConfiguracao& acoes,
                const std::function<void()>& passos, const ContextoExecucao& ctx = contexto()) {
    QTimer::singleShot(0, &dialogo, [&] {
        passos();
        if (dialogo.isVisible()) dialogo.reject();
    });
    dialogo.mostra(cfg, ctx, acoes);
}

// Closes the next message box that opens, keeping its text.
void fechaProximaMensagem(QString& texto) {
    auto* espera = new QTimer;
    QObject::connect(espera, &QTimer::timeout, espera, [espera, &texto] {
        if (auto* caixa = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            texto = caixa->text();
            caixa->accept();
            espera->deleteLater();
        }
    });
    espera->start(10);
}

template <typename T> T* controle(QWidget& dialogo, const QString& nome) {
    T* c = dialogo.findChild<T*>(nome);
    EXPECT_NE(c, nullptr) << nome.toStdString();
    return c;
}

TEST(DialogoConfiguracao, AbasTituloERodape) {
    TfQel_DFe_002 dialogo;
    ConfiguracaoEmpresa cfg;
    AcoesContadas acoes;
    QStringList abas;
    comDialogo(dialogo, cfg, acoes, [&] {
        for (int i = 0; i < dialogo.abas()->count(); ++i)
            abas << dialogo.abas()->tabText(i);
        EXPECT_EQ(dialogo.abas()->currentIndex(), 0);
    });
    EXPECT_EQ(abas, (QStringList{u"Configurações Gerais"_s, u"Configurações para NFe/NFCe"_s,
                                 u"Configurações para CTe/MDFe/DOT"_s, u"Configurações para NFSe"_s}));
    EXPECT_EQ(dialogo.windowTitle(), u"(002) Qel DFe - Configurações - CNPJ 12.345.678/0001-95"_s);
    QStringList rotulos;
    for (const QLabel* l : dialogo.findChildren<QLabel*>())
        rotulos << l->text();
    for (const QString& esperado : {u"Versao: 20/03/2025-03"_s, u"/srv/DFe/"_s,
                                    u"/home/caixa/Qel/test/DFe/"_s, u"Tamanho da Imagem (202 X 126)"_s})
        EXPECT_TRUE(rotulos.contains(esperado)) << esperado.toStdString();
    // Shown again: the CNPJ is added to the caption again.
    comDialogo(dialogo, cfg, acoes, [] {});
    EXPECT_EQ(dialogo.windowTitle(),
              u"(002) Qel DFe - Configurações - CNPJ 12.345.678/0001-95 - CNPJ 12.345.678/0001-95"_s);
}

TEST(DialogoConfiguracao, CadaControleEditaSeuCampo) {
    using Cfg = ConfiguracaoEmpresa;
    const std::pair<const char16_t*, bool Cfg::*> marcas[] = {
        {u"NaoUtilizarLogo", &Cfg::NaoUtilizarLogo},
        {u"PDF_Fonte", &Cfg::PDF_Fonte},
        {u"Sem_Email_Auto", &Cfg::Sem_Email_Auto},
        {u"NFe_ImpNome", &Cfg::NFe_ImpNome},
        {u"NFe_ImpVencimento", &Cfg::NFe_ImpVencimento},
        {u"NFe_ImpFantasia", &Cfg::NFe_ImpFantasia},
        {u"nfe_ImpEmissao", &Cfg::nfe_ImpEmissao},
        {u"nfe_impEan", &Cfg::nfe_impEan},
        {u"NFe_Descricao", &Cfg::NFe_Descricao},
        {u"NFCe_Descricao", &Cfg::NFCe_Descricao},
        {u"NFCe_A4", &Cfg::NFCe_A4},
        {u"NFCe_resumo", &Cfg::NFCe_resumo},
        {u"NFCe_PerguntaImp", &Cfg::NFCe_PerguntaImp},
        {u"Chb_ImpEmail_NFe", &Cfg::Chb_ImpEmail_NFe},
        {u"Chb_ImpEmail_CTe", &Cfg::Chb_ImpEmail_CTe},
        {u"Chb_ImpEmail_MDF", &Cfg::Chb_ImpEmail_MDFe},
        {u"Chb_ImpEmail_NFSe", &Cfg::Chb_ImpEmail_NFSe},
        {u"Chb_ImpEmail_NFCe", &Cfg::Chb_ImpEmail_NFCe},
        {u"Chb_Imp_NFe", &Cfg::Chb_Imp_NFe},
        {u"Chb_Imp_CTe", &Cfg::Chb_Imp_CTe},
        {u"Chb_Imp_MDF", &Cfg::Chb_Imp_MDFe},
        {u"Chb_Imp_NFSe", &Cfg::Chb_Imp_NFSe},
        {u"Chb_Imp_NFCe", &Cfg::Chb_Imp_NFCe},
    };
    const std::pair<const char16_t*, QString Cfg::*> textos[] = {
        {u"Logotipo", &Cfg::Logotipo},       {u"Token", &Cfg::Token},
        {u"IDToken", &Cfg::IDToken},         {u"MargemNFC", &Cfg::MargemNFC},
        {u"TokenCiot", &Cfg::TokenCiot},     {u"Usuario_NFSe", &Cfg::Usuario_NFSe},
        {u"Senha_NFSe", &Cfg::Senha_NFSe},   {u"NFe_Copias", &Cfg::NFe_Copias},
        {u"CTe_Copias", &Cfg::CTe_Copias},   {u"MDF_Copias", &Cfg::MDF_Copias},
        {u"NFSe_Copias", &Cfg::NFSE_Copias}, {u"NFCe_Copias", &Cfg::NFCE_Copias},
    };
    // A text of its own per field; the margin must be a number to be saved.
    const auto valor = [](const char16_t* nome) {
        const QString n = QString::fromUtf16(nome);
        return n == u"MargemNFC"_s ? u"2,5"_s : n + u" valor"_s;
    };
    TfQel_DFe_002 dialogo;
    ConfiguracaoEmpresa cfg;
    AcoesContadas acoes;
    comDialogo(dialogo, cfg, acoes, [&] {
        for (const auto& [nome, campo] : marcas)
            controle<QCheckBox>(dialogo, QString::fromUtf16(nome))->setChecked(true);
        for (const auto& [nome, campo] : textos)
            controle<QLineEdit>(dialogo, QString::fromUtf16(nome))->setText(valor(nome));
        QTest::keyClick(&dialogo, Qt::Key_F10);
    });
    EXPECT_EQ(acoes.salvos, 1);
    for (const auto& [nome, campo] : marcas)
        EXPECT_TRUE(cfg.*campo) << QString::fromUtf16(nome).toStdString();
    for (const auto& [nome, campo] : textos)
        EXPECT_EQ(cfg.*campo, valor(nome)) << QString::fromUtf16(nome).toStdString();
}

TEST(DialogoConfiguracao, BotoesDeImpressoraCertificadoELogo) {
    TfQel_DFe_002 dialogo;
    ConfiguracaoEmpresa cfg;
    cfg.Logotipo = u"/nao/existe.jpg"_s;
    AcoesContadas acoes;
    comDialogo(dialogo, cfg, acoes, [&] {
        QList<QPushButton*> padrao, selecionar;
        for (QPushButton* b : dialogo.findChildren<QPushButton*>()) {
            if (b->text() == u"Padrão"_s) padrao << b;
            if (b->text() == u"Selecionar"_s && b->objectName().isEmpty()) selecionar << b;
        }
        ASSERT_EQ(padrao.size(), 5);
        padrao.first()->click();   // NF-e
        selecionar.at(1)->click(); // CT-e
        controle<QPushButton>(dialogo, u"btn_Certificado_Auto"_s)->click();
        for (QPushButton* b : dialogo.findChildren<QPushButton*>())
            if (b->text() == u"Não utilizar Logo"_s) b->click();
        controle<QPushButton>(dialogo, u"btnSalvar"_s)->click();
    });
    EXPECT_EQ(acoes.salvos, 1);
    EXPECT_EQ(cfg.ImpressoraNFe, u"Impressora Padrao do Windows"_s);
    EXPECT_EQ(cfg.ImpressoraCTe, u"QelPDF"_s);
    // The root of the CNPJ, whatever punctuation it was written with.
    EXPECT_EQ(cfg.Certificado_DFe, u"12345678"_s);
    EXPECT_EQ(cfg.Logotipo, QString());
}

TEST(DialogoConfiguracao, AutomaticoMantemAsLetrasDoCnpj) {
    TfQel_DFe_002 dialogo;
    ConfiguracaoEmpresa cfg;
    AcoesContadas acoes;
    comDialogo(
        dialogo, cfg, acoes,
        [&] {
            controle<QPushButton>(dialogo, u"btn_Certificado_Auto"_s)->click();
            controle<QPushButton>(dialogo, u"btnSalvar"_s)->click();
        },
        contexto(u"12.ABC.345/01DE-35"_s));
    EXPECT_EQ(cfg.Certificado_DFe, u"12ABC345"_s);
}

TEST(DialogoConfiguracao, MargemQueNaoENumeroRecusaOSalvamento) {
    TfQel_DFe_002 dialogo;
    ConfiguracaoEmpresa cfg;
    AcoesContadas acoes;
    QString aviso;
    bool abertoDepois = false;
    comDialogo(dialogo, cfg, acoes, [&] {
        controle<QLineEdit>(dialogo, u"MargemNFC"_s)->setText(u"dois"_s);
        fechaProximaMensagem(aviso);
        QTest::keyClick(&dialogo, Qt::Key_F10);
        abertoDepois = dialogo.isVisible();
        controle<QLineEdit>(dialogo, u"MargemNFC"_s)->setText(u"2,5"_s);
        QTest::keyClick(&dialogo, Qt::Key_F10);
    });
    EXPECT_TRUE(aviso.contains(u"dois"_s)) << aviso.toStdString();
    EXPECT_TRUE(abertoDepois) << "the refused save leaves the dialog open";
    EXPECT_EQ(acoes.salvos, 1) << "saved once, with the corrected margin";
    EXPECT_EQ(cfg.MargemNFC, u"2,5"_s);
}

// The dialog over the settings files of a company in a temporary folder, saved as the
// CONFIGURAR task saves them.
class ContingenciaNoDialogo : public ::testing::Test {
protected:
    struct AcoesQueGravam : AcoesConfiguracao {
        const PastasEmpresa* pastas = nullptr;
        ConfiguracaoEmpresa* cfg = nullptr;
        int salvos = 0;
        bool selecionaCertificado(UsoCertificado) override { return true; }
        QString escolheImpressora() override { return {}; }
        void salva() override {
            ++salvos;
            EXPECT_TRUE(gravaConfiguracao(*pastas, *cfg));
        }
    };

    void SetUp() override {
        pastas.local = pasta.path() + u"/local/"_s;
        pastas.trabalho = pasta.path() + u"/servidor/DFe/"_s;
        pastas.cnpj = u"12.345.678/0001-95"_s;
        acoes.pastas = &pastas;
        acoes.cfg = &cfg;
    }
    QString arquivoServidor() const { return pastas.trabalho + u"INI/12345678000195.INI"_s; }
    // The company's server settings, in code page 1252 with CR LF, loaded as a run loads them.
    void guarda(const QByteArray& linhas) {
        teste::escreve(arquivoServidor(), linhas);
        cfg = ConfiguracaoEmpresa{};
        carregaConfiguracao(pastas, cfg);
    }
    ConfiguracaoEmpresa relida() const {
        ConfiguracaoEmpresa lida;
        carregaConfiguracao(pastas, lida);
        return lida;
    }
    static void escolhe(TfQel_DFe_002& dialogo, const QString& valor) {
        QComboBox* forma = controle<QComboBox>(dialogo, u"Contingencia"_s);
        const int indice = forma->findData(valor);
        ASSERT_GE(indice, 0) << valor.toStdString();
        forma->setCurrentIndex(indice);
    }

    QTemporaryDir pasta;
    PastasEmpresa pastas;
    ConfiguracaoEmpresa cfg;
    AcoesQueGravam acoes;
};

TEST_F(ContingenciaNoDialogo, MostraOQueAEmpresaGuardou) {
    const struct {
        QByteArray linhas;
        QString forma; // the value behind the choice shown
        QString rotulo;
        QString justificativa;
    } casos[] = {
        {"Contingencia SCAN\r\n", u"SCAN"_s, u"SCAN (não reconhecida)"_s, QString()},
        {"Contingencia svc-an\r\nJustificativa Contingencia Sem comunica\xe7\xe3o com a SEFAZ\r\n",
         u"SVC-AN"_s, u"SVC-AN - Sefaz Virtual do Ambiente Nacional (só NF-e)"_s,
         u"Sem comunicação com a SEFAZ"_s},
        {"Contingencia SVC\r\n", u"SVC"_s, u"SVC do estado da empresa (só NF-e)"_s, QString()},
        {"Justificativa Contingencia Queda da internet na loja\r\nContingencia OFFLINE\r\n", u"OFFLINE"_s,
         u"OFFLINE - emissão sem internet (só NFC-e)"_s, u"Queda da internet na loja"_s},
        {"Contingencia NORMAL\r\n", QString(), u"Normal (sem contingência)"_s, QString()},
        {"Token ABCD\r\n", QString(), u"Normal (sem contingência)"_s, QString()},
    };
    // One dialog shown again and again: a value not understood leaves no choice behind it.
    TfQel_DFe_002 dialogo;
    for (const auto& c : casos) {
        SCOPED_TRACE(c.linhas.toStdString());
        guarda(c.linhas);
        QString forma, rotulo, justificativa, contagem;
        int escolhas = 0;
        comDialogo(dialogo, cfg, acoes, [&] {
            const QComboBox* combo = controle<QComboBox>(dialogo, u"Contingencia"_s);
            forma = combo->currentData().toString();
            rotulo = combo->currentText();
            escolhas = combo->count();
            justificativa = controle<QLineEdit>(dialogo, u"JustificativaContingencia"_s)->text();
            contagem = controle<QLabel>(dialogo, u"ContagemJustificativa"_s)->text();
        });
        EXPECT_EQ(forma, c.forma);
        EXPECT_EQ(rotulo, c.rotulo);
        EXPECT_EQ(escolhas, opcoesContingencia().size() + (c.forma == u"SCAN"_s ? 1 : 0));
        EXPECT_EQ(justificativa, c.justificativa);
        EXPECT_EQ(contagem, QString::number(c.justificativa.size()) + u" caracteres (de 15 a 256)"_s);
    }
    EXPECT_EQ(acoes.salvos, 0);
}

TEST_F(ContingenciaNoDialogo, SvcAnGravaAsDuasChavesQueAExecucaoLe) {
    guarda("Token ABCD\r\n");
    const QString justificativa = u"Sem comunicação com a SEFAZ de origem"_s;
    TfQel_DFe_002 dialogo;
    comDialogo(dialogo, cfg, acoes, [&] {
        escolhe(dialogo, u"SVC-AN"_s);
        controle<QLineEdit>(dialogo, u"JustificativaContingencia"_s)->setText(justificativa);
        QTest::keyClick(&dialogo, Qt::Key_F10);
    });
    ASSERT_EQ(acoes.salvos, 1);
    // The keys the run reads, in the file's code page.
    const QByteArray arquivo = teste::le(arquivoServidor());
    EXPECT_TRUE(arquivo.contains("\r\nContingencia SVC-AN\r\n")) << arquivo.toStdString();
    EXPECT_TRUE(
        arquivo.contains("\r\nJustificativa Contingencia Sem comunica\xe7\xe3o com a SEFAZ de origem\r\n"));
    const ConfiguracaoEmpresa lida = relida();
    EXPECT_EQ(lida.Contingencia, u"SVC-AN"_s);
    EXPECT_EQ(lida.JustificativaContingencia, justificativa);
    EXPECT_EQ(lida.Token, u"ABCD"_s);
    // And the run takes it as SVC-AN with that justification.
    const Contingencia c =
        contingenciaDaExecucao(ContextoExecucao{}, lida, TabelaEnderecos::carrega(ConfiguracaoRede{}));
    EXPECT_EQ(c.forma, FormaContingencia::SvcAn);
    EXPECT_EQ(c.justificativa, justificativa);
    EXPECT_EQ(c.erro, QString());
}

// What every send would refuse is refused by the dialog, which stays open with nothing written;
// mended, it is saved.
TEST_F(ContingenciaNoDialogo, RecusaSemGravarNada) {
    const struct {
        const char* caso;
        QByteArray guardado;
        QString forma; // empty: the stored one
        QString justificativa;
        QString motivo;
    } casos[] = {
        {"EPEC without a justification", "Token ABCD\r\n", u"EPEC"_s, QString(), u"a informada tem 0."_s},
        {"OFFLINE with a short one", "Token ABCD\r\n", u"OFFLINE"_s, u"  Sem internet  "_s,
         u"A contingência OFFLINE pede a justificativa"_s},
        {"SVC with a long one", "Token ABCD\r\n", u"SVC"_s, QString(257, u'x'), u"a informada tem 257."_s},
        {"a stored value not understood", "Contingencia SCAN\r\nToken ABCD\r\n", QString(),
         u"SEFAZ de origem fora do ar"_s, u"Contingência não reconhecida: \"SCAN\""_s},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.caso);
        guarda(c.guardado);
        acoes.salvos = 0;
        TfQel_DFe_002 dialogo;
        QString aviso;
        bool abertoDepois = false;
        int aba = -1;
        comDialogo(dialogo, cfg, acoes, [&] {
            if (!c.forma.isEmpty()) escolhe(dialogo, c.forma);
            controle<QLineEdit>(dialogo, u"JustificativaContingencia"_s)->setText(c.justificativa);
            fechaProximaMensagem(aviso);
            QTest::keyClick(&dialogo, Qt::Key_F10);
            abertoDepois = dialogo.isVisible();
            aba = dialogo.abas()->currentIndex();
        });
        EXPECT_TRUE(aviso.contains(c.motivo)) << aviso.toStdString();
        EXPECT_TRUE(aviso.contains(u"não foram gravadas"_s));
        EXPECT_TRUE(abertoDepois);
        EXPECT_EQ(aba, 1) << "the contingency's tab is shown";
        EXPECT_EQ(acoes.salvos, 0);
        EXPECT_EQ(teste::le(arquivoServidor()), c.guardado);
        EXPECT_FALSE(QFile::exists(pastas.local + u"INI"_s)) << "the local file neither";
    }
    // Mended, the same dialog saves.
    guarda("Contingencia SCAN\r\n");
    TfQel_DFe_002 dialogo;
    comDialogo(dialogo, cfg, acoes, [&] {
        escolhe(dialogo, u"EPEC"_s);
        controle<QLineEdit>(dialogo, u"JustificativaContingencia"_s)
            ->setText(u"SEFAZ de origem fora do ar"_s);
        QTest::keyClick(&dialogo, Qt::Key_F10);
    });
    EXPECT_EQ(acoes.salvos, 1);
    EXPECT_EQ(relida().Contingencia, u"EPEC"_s);
}

// Back to normal emission the justification stays: a task that brings its own CONTINGENCIA
// without a justification takes the company's. Normal emission sends none, so it is not judged.
TEST_F(ContingenciaNoDialogo, VoltaAoNormalGuardandoAJustificativa) {
    guarda("Contingencia SVC-RS\r\nJustificativa Contingencia SEFAZ de origem fora do ar\r\n");
    TfQel_DFe_002 dialogo;
    comDialogo(dialogo, cfg, acoes, [&] {
        escolhe(dialogo, QString());
        QTest::keyClick(&dialogo, Qt::Key_F10);
    });
    ASSERT_EQ(acoes.salvos, 1);
    const QStringList linhas = QString::fromLatin1(teste::le(arquivoServidor())).split(u"\r\n"_s);
    for (const QString& linha : linhas)
        EXPECT_FALSE(linha.startsWith(u"Contingencia"_s, Qt::CaseInsensitive)) << linha.toStdString();
    EXPECT_TRUE(linhas.contains(u"Justificativa Contingencia SEFAZ de origem fora do ar"_s));
    EXPECT_EQ(relida().Contingencia, QString());
    EXPECT_EQ(relida().JustificativaContingencia, u"SEFAZ de origem fora do ar"_s);

    TfQel_DFe_002 outro;
    comDialogo(outro, cfg, acoes, [&] {
        controle<QLineEdit>(outro, u"JustificativaContingencia"_s)->setText(u"curta"_s);
        QTest::keyClick(&outro, Qt::Key_F10);
    });
    EXPECT_EQ(acoes.salvos, 2);
    EXPECT_EQ(relida().JustificativaContingencia, u"curta"_s);
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication aplicacao(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
