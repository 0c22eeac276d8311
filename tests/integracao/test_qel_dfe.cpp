// The real program, unattended, on a temporary drive root.

#include "programa.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class QelDFe : public ::testing::Test, protected Programa {};

const QByteArray kNFe =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><NFe xmlns=\"http://www.portalfiscal.inf.br/nfe\">"
    "<infNFe versao=\"4.00\" Id=\"NFe43240112345678000195550010000000011000000016\"><ide>"
    "<cUF>43</cUF></ide><emit><CNPJ>12345678000195</CNPJ><xNome>Empresa Ação</xNome></emit>"
    "</infNFe></NFe>";

TEST_F(QelDFe, ArquivoDeTarefaVenceOsXmlENaoSeRepete) {
    noLocal(u"Qel_DFe.Qel"_s, "TAREFA Consultar Servico (NFe)\r\nCNPJ 12345678000195\r\nUF RS\r\n");
    noLocal(u"NFe001.xml"_s, kNFe);
    const Execucao r = roda();
    EXPECT_EQ(r.codigo, 1) << r.erros.toStdString();
    EXPECT_TRUE(r.saida.startsWith(u"Obtendo tarefa\nTarefa: Consultar Servico (NFe)\n"_s))
        << r.saida.toStdString();
    // No certificate in the store: said, and nothing is sent.
    EXPECT_TRUE(r.saida.contains(
        u"Não foi possível selecionar um certificado digital para o CNPJ 12345678000195\n"_s));
    EXPECT_FALSE(r.saida.contains(u"Enviando XML"_s)) << r.saida.toStdString();
    EXPECT_TRUE(
        r.saida.contains(u"Campos: Tarefa=Consultar Servico (NFe); CNPJ=12345678000195; UF=RS; cUF=43; "
                         "Tipo=; Arquivo=\n"_s))
        << r.saida.toStdString();
    EXPECT_FALSE(QFile::exists(local(u"Qel_DFe.Qel"_s)));
    EXPECT_EQ(teste::le(local(u"NFe001.xml"_s)), kNFe);
    // The company's folders are ready for its settings.
    EXPECT_TRUE(QFileInfo(raiz() + u"/DFe/Ini"_s).isDir());
    EXPECT_TRUE(QFileInfo(local(u"Ini"_s)).isDir());
}

TEST_F(QelDFe, XmlMaisRecenteDoPrimeiroPadrao) {
    noLocal(u"NFe001.xml"_s, kNFe);
    noLocal(u"NFe002.XML"_s, kNFe);
    noLocal(u"CTe001.XML"_s, "<CTe/>");
    const Execucao r = roda();
    EXPECT_EQ(r.codigo, 1) << r.erros.toStdString();
    EXPECT_TRUE(
        r.saida.contains(u"Campos: Tarefa=Recepcao; CNPJ=12345678000195; UF=; cUF=43; Tipo=NFe; Arquivo="_s +
                         local(u"NFe002.XML\n"_s)))
        << r.saida.toStdString();
    EXPECT_FALSE(QFile::exists(local(u"NFe001.xml"_s)));
    EXPECT_TRUE(QFile::exists(local(u"NFe002.XML"_s)));
    EXPECT_TRUE(QFile::exists(local(u"CTe001.XML"_s)));
}

TEST_F(QelDFe, DuasTarefasRecusamSemResposta) {
    noLocal(u"Qel_DFe.Qel"_s, "TAREFA Recepcao\r\nTAREFA Cancelar Documento\r\n");
    const Execucao r = roda();
    EXPECT_EQ(r.codigo, 1);
    EXPECT_EQ(r.saida,
              u"Obtendo tarefa\nResultado (Versao 20/03/2025-03)\nMais de uma tarefa solicitada (Recepcao),\n"
              "Nao sera processada nenhuma tarefa.\n"_s);
    EXPECT_FALSE(QFile::exists(local(u"Retorno_DFe.Qel"_s)));
    EXPECT_FALSE(QFile::exists(local(u"Qel_DFe.Qel"_s)));
}

TEST_F(QelDFe, XmlComPrimeiraLinhaEmBrancoCedeAoArgumento) {
    noLocal(u"NFe001.xml"_s, "\r\n" + kNFe);
    const Execucao r = roda({raiz() + u"/outro.xml"_s});
    EXPECT_EQ(r.codigo, 1) << r.erros.toStdString();
    EXPECT_TRUE(r.saida.endsWith(u"Arquivo não encontrado: "_s + raiz() + u"/outro.xml\n"_s))
        << r.saida.toStdString();
    EXPECT_TRUE(r.saida.contains(u"\nTarefa: Imprimir\n"_s)) << r.saida.toStdString();
    EXPECT_TRUE(r.saida.contains(u"Campos: Tarefa=Imprimir; CNPJ=; UF=; cUF=; Tipo=; Arquivo="_s +
                                 local(u"NFe001.xml"_s)))
        << r.saida.toStdString();
}

TEST_F(QelDFe, SemTrabalhoTerminaEmPaz) {
    const Execucao r = roda();
    EXPECT_EQ(r.codigo, 0);
    EXPECT_EQ(r.saida, u"Obtendo tarefa\nNenhuma tarefa encontrada\n"_s);

    // A task file without a task and without a document: nothing to do either.
    noLocal(u"Qel_DFe.Qel"_s, "CNPJ 12345678000195\r\n");
    const Execucao semTarefa = roda();
    EXPECT_EQ(semTarefa.codigo, 0);
    EXPECT_TRUE(semTarefa.saida.endsWith(u"Tarefa: \nCampos: Tarefa=; CNPJ=12345678000195; UF=; cUF=; Tipo=; "
                                         "Arquivo=\nNenhuma tarefa encontrada\n"_s))
        << semTarefa.saida.toStdString();
}

TEST_F(QelDFe, StatusNoRegistro) {
    noLocal(u"Qel_DFe.Qel"_s,
            "tarefa download nfe\r\nCHAVE 43240112345678000195550010000000011000000016\r\n");
    const Execucao r = roda();
    EXPECT_EQ(r.codigo, 1) << r.erros.toStdString();
    EXPECT_TRUE(r.saida.contains(u"Campos: Tarefa=Download; CNPJ=12345678000195; UF=; cUF=; Tipo=NFe;"_s))
        << r.saida.toStdString();
    const QString registro = QString::fromUtf8(teste::le(local(u"Qel_DFe.log"_s)));
    const QRegularExpression linha(uR"(^\d\d/\d\d/\d{4} \d\d:\d\d:\d\d (Obtendo tarefa|Tarefa: Download)$)"_s,
                                   QRegularExpression::MultilineOption);
    auto achados = linha.globalMatch(registro);
    int n = 0;
    while (achados.hasNext())
        achados.next(), ++n;
    EXPECT_EQ(n, 2) << registro.toStdString();
}

TEST_F(QelDFe, PastaDoServidorEModos) {
    const QString servidor = raiz() + u"/servidor compartilhado"_s;
    teste::escreve(raiz() + u"/Qel/test/Qel.Ini"_s,
                   "# outra linha\r\nservidor   "_ba + servidor.toUtf8() + "   \r\nSERVIDOR /nao/esta\r\n");
    teste::escreve(servidor + u"/DFe/Homologacao.Qel"_s, "");
    teste::escreve(servidor + u"/DFe/INI/12345678000195.DFe"_s, "NOME Empresa\r\n");
    noLocal(u"Qel_DFe.Qel"_s, "TAREFA Recepcao\r\nCNPJ 12345678000195\r\n");
    const Execucao r = roda();
    EXPECT_EQ(r.codigo, 1) << r.erros.toStdString();
    EXPECT_TRUE(QFileInfo(servidor + u"/DFe/INI"_s).isDir());
    EXPECT_FALSE(QFileInfo(servidor + u"/DFe/Ini"_s).exists())
        << "an existing folder in another spelling is used";
    EXPECT_FALSE(QFileInfo(raiz() + u"/DFe"_s).exists());

    // A SERVIDOR line without a folder names the root of the drive, never the file system's.
    teste::escreve(raiz() + u"/Qel/test/Qel.Ini"_s, "SERVIDOR\r\n");
    noLocal(u"Qel_DFe.Qel"_s, "TAREFA Recepcao\r\nCNPJ 12345678000195\r\n");
    roda();
    EXPECT_TRUE(QFileInfo(raiz() + u"/DFe/Ini"_s).isDir());
}

TEST_F(QelDFe, ServidorEmCompartilhamentoOuOutraUnidadeERecusado) {
    // Neither exists here; mapped to some local folder they would split the settings and the
    // archive from the other workstations'.
    for (const QByteArray& servidor : {"\\\\srv\\dados"_ba, "//srv/dados"_ba, "D:\\Qel"_ba, "z:"_ba}) {
        SCOPED_TRACE(servidor.toStdString());
        teste::escreve(raiz() + u"/Qel/test/Qel.Ini"_s, "SERVIDOR " + servidor + "\r\n");
        noLocal(u"Qel_DFe.Qel"_s, "TAREFA Recepcao\r\nCNPJ 12345678000195\r\n");
        const Execucao r = roda();
        EXPECT_EQ(r.codigo, 1) << r.erros.toStdString();
        EXPECT_TRUE(
            r.saida.contains(u"Monte o compartilhamento e escreva na linha SERVIDOR o caminho da montagem"_s))
            << r.saida.toStdString();
        // Nothing was taken or made: the task waits for the corrected setting.
        EXPECT_TRUE(QFile::exists(local(u"Qel_DFe.Qel"_s)));
        EXPECT_EQ(QDir(raiz()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{u"Qel"_s});
        EXPECT_FALSE(QFileInfo(local(u"Ini"_s)).exists());
    }
}

TEST_F(QelDFe, LinhaNaoEntendidaDaTabelaDeEnderecosEDita) {
    teste::escreve(raiz() + u"/enderecos.conf"_s, "atende NFe 35 NFE-PR sefa-pr-nfe\nservico X\n");
    extras.insert(u"QEL_DFE_ENDPOINTS"_s, raiz() + u"/enderecos.conf"_s);
    noLocal(u"Qel_DFe.Qel"_s, "TAREFA Consultar Servico (NFe)\r\nCNPJ 12345678000195\r\nUF SP\r\n");
    const Execucao r = roda();
    EXPECT_TRUE(r.saida.contains(u"Linha não entendida na tabela de endereços: "_s + raiz() +
                                 u"/enderecos.conf:2: servico X\n"_s))
        << r.saida.toStdString();
}

TEST_F(QelDFe, DecodificacaoDeDiagnostico) {
    // "Olá, mundo" packed by gzip and Base64 by another program.
    QProcess gzip;
    gzip.start(u"sh"_s, {u"-c"_s, u"printf 'Ol\\341, mundo\\r\\nfim' | gzip -c | base64 -w 76"_s});
    ASSERT_TRUE(gzip.waitForFinished(10000));
    teste::escreve(raiz() + u"/Teste/base64.txt"_s, gzip.readAllStandardOutput());
    const Execucao r = roda();
    EXPECT_TRUE(r.saida.startsWith(u"Feito\nObtendo tarefa\n"_s)) << r.saida.toStdString();
    EXPECT_FALSE(QFile::exists(raiz() + u"/Teste/base64.txt"_s));
    EXPECT_EQ(teste::le(raiz() + u"/Teste/Arquivo.txt"_s), QByteArray("Ol\xe1, mundo\r\nfim\r\n"));
}

TEST_F(QelDFe, ErroInesperadoSaiComDois) {
    // A file where the company's settings folder must be: the folder cannot be created.
    teste::escreve(local(u"Ini"_s), "não é pasta");
    noLocal(u"Qel_DFe.Qel"_s, "TAREFA Recepcao\r\nCNPJ 12345678000195\r\n");
    const Execucao r = roda();
    EXPECT_EQ(r.codigo, 2);
    EXPECT_TRUE(r.erros.contains(u"Erro: Não foi possível criar a pasta"_s)) << r.erros.toStdString();
}

} // namespace
