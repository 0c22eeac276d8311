#include "apoio.h"
#include "config/configuracao_empresa.h"
#include "config/dados_empresa.h"
#include "util/erros.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;
using namespace qel;

namespace {

class Configuracao : public ::testing::Test {
protected:
    void SetUp() override {
        pastas.local = pasta.path() + u"/local/"_s;
        pastas.trabalho = pasta.path() + u"/servidor/DFe/"_s;
        pastas.cnpj = u"12.345.678/0001-95"_s;
    }
    // Settings files are text in code page 1252 with CR LF, as Windows-era tools wrote them.
    void local(const QByteArray& linhas) {
        teste::escreve(pastas.local + u"INI/12345678000195.ini"_s, linhas);
    }
    void servidor(const QByteArray& linhas) {
        teste::escreve(pastas.trabalho + u"INI/12345678000195.INI"_s, linhas);
    }
    ConfiguracaoEmpresa carrega() {
        ConfiguracaoEmpresa cfg;
        carregaConfiguracao(pastas, cfg);
        return cfg;
    }

    QTemporaryDir pasta;
    PastasEmpresa pastas;
};

TEST_F(Configuracao, ChavesDoServidorEDoLocal) {
    servidor(
        "Logotipo C:\\Logos\\empresa.jpg\r\nToken  ABC123  \r\nIDToken 000001\r\nAverbacao X\r\n"
        "Usuario nfs usuario\r\nSenha nfs s\xe9nha\r\nSem Impressao Automatica\r\nSem Email Automatico\r\n"
        "linha qualquer\r\nJustificativa Contingencia Sem acesso a internet\r\nContingencia OFFLINE\r\n");
    local("NFS Certificado CERT NFS\r\nCertificado EMPRESA:12345678000195\r\nDANFE Impressora HP\r\n"
          "NFCE A4\r\npdf sem fontes\r\nSem Impressao Auto CTe\r\nCIOT Token tk\r\n");
    const ConfiguracaoEmpresa cfg = carrega();
    EXPECT_EQ(cfg.Logotipo, u"C:\\Logos\\empresa.jpg"_s);
    EXPECT_EQ(cfg.Token, u"ABC123"_s);
    EXPECT_EQ(cfg.IDToken, u"000001"_s);
    EXPECT_EQ(cfg.Senha_NFSe, u"sénha"_s);
    EXPECT_TRUE(cfg.Chb_ImpEmail_NFe);
    EXPECT_TRUE(cfg.Sem_Email_Auto);
    // "NFS CERTIFICADO" is tested before "CERTIFICADO", so neither takes the other's line.
    EXPECT_EQ(cfg.Certificado_NFSe, u"CERT NFS"_s);
    EXPECT_EQ(cfg.Certificado_DFe, u"EMPRESA:12345678000195"_s);
    EXPECT_EQ(cfg.ImpressoraNFe, u"HP"_s);
    EXPECT_TRUE(cfg.NFCe_A4);
    EXPECT_TRUE(cfg.PDF_Fonte);
    EXPECT_TRUE(cfg.Chb_Imp_CTe);
    EXPECT_FALSE(cfg.Chb_Imp_NFe);
    EXPECT_EQ(cfg.TokenCiot, u"tk"_s);
    EXPECT_EQ(cfg.Contingencia, u"OFFLINE"_s);
    EXPECT_EQ(cfg.JustificativaContingencia, u"Sem acesso a internet"_s);
}

TEST_F(Configuracao, CopiasEMargem) {
    const struct {
        QByteArray linhas;
        double copias;
        double margem;
    } casos[] = {
        {"DANFE Numero de Copias 2\r\n", 2, 0},
        {"DANFE AUTOMATIZAR IMPRESSAO\r\n", 1, 0},
        {"DANFE AUTOMATIZAR IMPRESSAO\r\nDANFE Numero de Copias 0\r\n", 0, 0},
        {"DANFE Numero de Copias 3\r\nDANFE AUTOMATIZAR IMPRESSAO\r\n", 3, 0},
        {"DANFE Numero de Copias       1,00\r\nNFCE Margem\r\n", 1, 1.9},
        {"NFCE Margem 2,5\r\n", 0, 2.5},
        {"NFCE Margem 2.5\r\n", 0, 2.5},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.linhas.toStdString());
        local(c.linhas);
        const ConfiguracaoEmpresa cfg = carrega();
        EXPECT_EQ(numeroConfiguracao(cfg.NFe_Copias), c.copias);
        EXPECT_DOUBLE_EQ(margemNFCe(cfg), c.margem);
    }
}

TEST_F(Configuracao, CopiasVoltamAZeroACadaCarga) {
    local("DANFE Numero de Copias 2\r\n");
    ConfiguracaoEmpresa cfg = carrega();
    QFile::remove(pastas.local + u"INI/12345678000195.ini"_s);
    carregaConfiguracao(pastas, cfg);
    EXPECT_EQ(cfg.NFe_Copias, u"0"_s);
}

TEST_F(Configuracao, MarcasComJanelaMaiorQueAChave) {
    const struct {
        QByteArray linha;
        bool ean;
        bool nome;
    } casos[] = {
        {"DANFE Nao Imprimir EAN\r\n", true, false},
        {"DANFE Nao Imprimir EAN nos itens\r\n", false, false},
        {"DANFE NAO IMPRIMIR NOME NO CANHOTO    \r\n", false, true},
        {"DANFE Nao Imprimir Nome no Canhoto X\r\n", false, false},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.linha.toStdString());
        local(c.linha);
        const ConfiguracaoEmpresa cfg = carrega();
        EXPECT_EQ(cfg.nfe_impEan, c.ean);
        EXPECT_EQ(cfg.NFe_ImpNome, c.nome);
    }
}

TEST_F(Configuracao, LogoDaPastaLocalVenceOServidor) {
    servidor("LOGOTIPO /srv/logo.png\r\n");
    EXPECT_EQ(carrega().Logotipo, u"/srv/logo.png"_s);
    teste::escreve(pastas.local + u"logo_dfe.jpg"_s, "jpeg");
    EXPECT_EQ(carrega().Logotipo, pastas.local + u"Logo_DFe.jpg"_s);
}

TEST_F(Configuracao, NumeroInvalidoSoFalhaQuandoUsado) {
    local("DANFE Numero de Copias duas\r\n");
    const ConfiguracaoEmpresa cfg = carrega();
    EXPECT_EQ(cfg.NFe_Copias, u"duas"_s);
    EXPECT_THROW(numeroConfiguracao(cfg.NFe_Copias), ErroInesperado);
    EXPECT_EQ(numeroConfiguracao(u" R$ 1.234,50 "_s), 1234.5);
}

TEST_F(Configuracao, GravacaoByteAByteERecarga) {
    ConfiguracaoEmpresa cfg;
    cfg.Logotipo = u"/srv/logo.jpg"_s;
    cfg.Token = u"CSC"_s;
    cfg.Senha_NFSe = u"ação"_s;
    cfg.Chb_ImpEmail_NFe = true;
    cfg.Sem_Email_Auto = true;
    cfg.Contingencia = u"SVC-RS"_s;
    cfg.JustificativaContingencia = u"SEFAZ de origem fora do ar"_s;
    cfg.Certificado_DFe = u"EMPRESA:12345678000195"_s;
    cfg.ImpressoraNFe = u"Impressora Padrao do Windows"_s;
    cfg.NFe_Copias = u"      1,00"_s;
    cfg.nfe_impEan = true;
    cfg.NFe_ImpNome = true;
    cfg.MargemNFC = u"2,5"_s;
    cfg.NFCe_A4 = true;
    cfg.PDF_Fonte = true;
    cfg.Chb_Imp_NFSe = true;
    // A differently spelled old file goes away; the new one is ".INI".
    local("Certificado antigo\r\n");
    ASSERT_TRUE(gravaConfiguracao(pastas, cfg));

    EXPECT_EQ(teste::le(pastas.trabalho + u"INI/12345678000195.INI"_s),
              QByteArray("Logotipo /srv/logo.jpg\r\nToken CSC\r\nIDToken \r\nAverbacao \r\nUsuario nfs \r\n"
                         "Senha nfs a\xe7\xe3o\r\nSem Impressao Automatica\r\nSem Email Automatico\r\n"
                         "Contingencia SVC-RS\r\nJustificativa Contingencia SEFAZ de origem fora do ar\r\n"));
    EXPECT_EQ(
        teste::le(pastas.local + u"INI/12345678000195.INI"_s),
        QByteArray("Certificado EMPRESA:12345678000195\r\nNFS Certificado \r\n"
                   "DANFE Impressora Impressora Padrao do Windows\r\nDANFE Numero de Copias       1,00\r\n"
                   "DANFE Nao Imprimir Nome no Canhoto\r\nDANFE Nao Imprimir EAN\r\nDACTE Impressora \r\n"
                   "DACTE Numero de Copias 0\r\nCIOT Token \r\nMDF Impressora \r\nMDF Numero de Copias 0\r\n"
                   "NFSE Impressora \r\nNFSE Numero de Copias 0\r\nNFCE Impressora \r\n"
                   "NFCE Numero de Copias 0\r\nNFCE A4\r\nNFCE Margem 2,5\r\nPDF Sem Fontes\r\n"
                   "Sem Impressao se Email NFe\r\nSem Impressao Auto NFSe\r\n"));
    EXPECT_FALSE(QFile::exists(pastas.local + u"INI/12345678000195.ini"_s));

    ConfiguracaoEmpresa relida;
    carregaConfiguracao(pastas, relida);
    cfg.NFe_Copias = cfg.NFe_Copias.trimmed(); // values come back trimmed
    EXPECT_EQ(relida, cfg);
}

// A line break pasted into a field stays inside its value: it neither cuts the value short nor
// becomes a key of its own.
TEST_F(Configuracao, QuebraDeLinhaNaoViraOutraChave) {
    ConfiguracaoEmpresa cfg;
    cfg.Contingencia = u"SVC-AN"_s;
    cfg.JustificativaContingencia = u"SEFAZ fora do ar\r\nContingencia OFFLINE"_s;
    cfg.Averbacao = u"/srv/averba\nSenha nfs roubada"_s;
    cfg.TokenCiot = u"abc\rCertificado OUTRA"_s;
    ASSERT_TRUE(gravaConfiguracao(pastas, cfg));
    const ConfiguracaoEmpresa relida = carrega();
    EXPECT_EQ(relida.Contingencia, u"SVC-AN"_s);
    EXPECT_EQ(relida.JustificativaContingencia, u"SEFAZ fora do ar  Contingencia OFFLINE"_s);
    EXPECT_EQ(relida.Averbacao, u"/srv/averba Senha nfs roubada"_s);
    EXPECT_EQ(relida.Senha_NFSe, QString());
    EXPECT_EQ(relida.TokenCiot, u"abc Certificado OUTRA"_s);
    EXPECT_EQ(relida.Certificado_DFe, QString());
}

unsigned modo(const QString& caminho) {
    struct stat s {};
    return stat(QFile::encodeName(caminho).constData(), &s) == 0 ? (s.st_mode & 0777u) : 0u;
}

// Both files may hold a secret: the program writes them for the owner alone, whatever the umask
// and whatever mode the file had before.
TEST_F(Configuracao, GravadosSoParaODono) {
    servidor("Token antigo\r\n");
    chmod(QFile::encodeName(pastas.trabalho + u"INI/12345678000195.INI"_s).constData(), 0644);
    ConfiguracaoEmpresa cfg;
    cfg.Token = u"CSC-novo"_s;
    const mode_t antes = umask(0);
    const bool gravou = gravaConfiguracao(pastas, cfg);
    umask(antes);
    ASSERT_TRUE(gravou);
    EXPECT_EQ(modo(pastas.trabalho + u"INI/12345678000195.INI"_s), 0600u);
    EXPECT_EQ(modo(pastas.local + u"INI/12345678000195.INI"_s), 0600u);
    EXPECT_EQ(QDir(pastas.trabalho + u"INI"_s).entryList(QDir::Files).size(), 1) << "no temporary file left";
    EXPECT_EQ(carrega().Token, u"CSC-novo"_s);
}

TEST_F(Configuracao, AvisoDeSegredoLegivelPorOutros) {
    const struct {
        const char* caso;
        QByteArray servidor, local;
        unsigned modo;
        int avisos;
    } casos[] = {
        {"CSC token, private", "Token CSC1234\r\n", "", 0600, 0},
        {"CSC token, readable by others", "Token CSC1234\r\n", "", 0644, 1},
        {"NFS-e password, readable by the group", "Senha nfs segredo\r\n", "", 0640, 1},
        {"CIOT token in the local file, readable", "", "CIOT Token T0K3N\r\n", 0604, 1},
        {"no secret, readable", "Averbacao /srv/averbacao\r\n", "DANFE Impressora X\r\n", 0644, 0},
        {"both files readable", "Token CSC1234\r\n", "CIOT Token T0K3N\r\n", 0644, 2},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.caso);
        servidor(c.servidor);
        local(c.local);
        chmod(QFile::encodeName(pastas.trabalho + u"INI/12345678000195.INI"_s).constData(), c.modo);
        chmod(QFile::encodeName(pastas.local + u"INI/12345678000195.ini"_s).constData(), c.modo);
        const QStringList avisos = avisosDeSegredos(pastas, carrega());
        EXPECT_EQ(avisos.size(), c.avisos) << avisos.join(u'\n').toStdString();
        for (const QString& aviso : avisos) {
            EXPECT_TRUE(aviso.contains(u"(modo 0"_s + QString::number(c.modo, 8) + u')'))
                << aviso.toStdString();
            EXPECT_FALSE(aviso.contains(u"CSC1234"_s) || aviso.contains(u"segredo"_s) ||
                         aviso.contains(u"T0K3N"_s));
        }
    }
}

TEST_F(Configuracao, DadosDaEmpresa) {
    teste::escreve(pastas.trabalho + u"INI/12345678000195.dfe"_s,
                   "NOME Primeira\r\nNOME Empresa Ltda\r\nENDERECO Rua A, 1\r\nCIDADE Lajeado\r\n"
                   "FONE (51) 3714-0000\r\nCEP 95900-000\r\nEMAIL a@b.c\r\nBAIRRO Centro\r\n"
                   "ITEM 01.01 Analise de sistemas\r\nCNAE 6201-5/01   \r\nqualquer\r\n");
    DadosEmpresa dados;
    dados.reinicia();
    Carrega_Dados_DFe(pastas, dados);
    Carrega_Dados_DFe(pastas, dados); // read again: activity lines are not doubled
    const QStringList esperadas{
        u"Empresa Ltda"_s,     u"Rua A, 1"_s, u"Lajeado"_s, u"51 3714 0000"_s,
        u"95900-000"_s,        u"a@b.c"_s,    u"Centro"_s,  u"ITEM 01.01 Analise de sistemas"_s,
        u"CNAE 6201-5/01   "_s};
    EXPECT_EQ(dados.linhas, esperadas);
    EXPECT_EQ(dados.nome, u"Empresa Ltda"_s);
    EXPECT_EQ(dados.municipio, u"Lajeado"_s);
    EXPECT_EQ(dados.fone, u"51 3714 0000"_s);

    pastas.cnpj = u"99999999000191"_s;
    Carrega_Dados_DFe(pastas, dados);
    EXPECT_EQ(dados.linhas, esperadas) << "a missing file leaves the data as it was";
}

} // namespace
