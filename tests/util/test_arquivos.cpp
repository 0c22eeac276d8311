#include "apoio.h"
#include "integracao/sistema_arquivos.h"
#include "util/arquivos.h"
#include "util/erros.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace qel;

TEST(Arquivos, DivisaoDeLinhas) {
    const struct {
        QString texto;
        QStringList linhas;
    } casos[] = {
        {u"a\r\nb\r\n"_s, {u"a"_s, u"b"_s}},
        {u"a\nb"_s, {u"a"_s, u"b"_s}},
        {u"a\rb\r"_s, {u"a"_s, u"b"_s}},
        {u"\r\n\r\nx"_s, {QString(), QString(), u"x"_s}},
        {QString(), {}},
        {u"a\n\r\nb"_s, {u"a"_s, QString(), u"b"_s}},
    };
    for (const auto& c : casos)
        EXPECT_EQ(divideLinhas(c.texto), c.linhas) << qPrintable(c.texto);
}

TEST(Arquivos, GravaEmCp1252ComCrLfELeDeVolta) {
    QTemporaryDir pasta;
    const QString arquivo = pasta.path() + u"/Retorno_DFe.Qel"_s;
    ASSERT_TRUE(gravaLinhas(arquivo, {u"CNPJ 1"_s, QString(), u"Valido até €"_s}));
    EXPECT_EQ(teste::le(arquivo), QByteArray("CNPJ 1\r\n\r\nValido at\xe9 \x80\r\n"));
    EXPECT_EQ(lerLinhas(arquivo), (QStringList{u"CNPJ 1"_s, QString(), u"Valido até €"_s}));
    EXPECT_FALSE(gravaLinhas(pasta.path() + u"/nao/existe/x.txt"_s, {u"x"_s}));
    EXPECT_THROW(lerLinhas(pasta.path() + u"/falta.txt"_s), ErroInesperado);
}

TEST(Arquivos, NomesSemDistincaoDeCaixa) {
    QTemporaryDir pasta;
    const QString raiz = pasta.path();
    teste::escreve(raiz + u"/Qel/Test/dfe/INI/123.ini"_s, "x");
    EXPECT_EQ(localizaCaminho(raiz + u"/qel/test/DFe/Ini/123.INI"_s), raiz + u"/Qel/Test/dfe/INI/123.ini"_s);
    EXPECT_EQ(localizaCaminho(raiz + u"/QEL/test/novo/a.txt"_s), raiz + u"/Qel/Test/novo/a.txt"_s);
    EXPECT_EQ(localizaCaminho(raiz + u"/qel/test/dfe/"_s), raiz + u"/Qel/Test/dfe/"_s);
    EXPECT_TRUE(existeArquivo(raiz + u"/QEL/TEST/DFE/ini/123.INI"_s));
    EXPECT_TRUE(existePasta(raiz + u"/qel/TEST/"_s));
    EXPECT_FALSE(existeArquivo(raiz + u"/qel/TEST/"_s));
    EXPECT_TRUE(apagaArquivo(raiz + u"/QEL/TEST/DFE/ini/123.INI"_s));
    EXPECT_FALSE(QFile::exists(raiz + u"/Qel/Test/dfe/INI/123.ini"_s));
}

TEST(Arquivos, ListaPorPadraoOrdenada) {
    QTemporaryDir pasta;
    for (const char* nome :
         {"NFe002.XML", "nfe001.xml", "NFe003.xml.bak", "CTe001.XML", "NFCe1.xml", "NFe010.Xml"})
        teste::escreve(pasta.path() + u'/' + QString::fromUtf8(nome), "x");
    EXPECT_EQ(listaPorPadrao(pasta.path(), u"NFe*.XML"_s),
              (QStringList{u"nfe001.xml"_s, u"NFe002.XML"_s, u"NFe010.Xml"_s}));
    EXPECT_EQ(listaPorPadrao(pasta.path(), u"MDFe*.XML"_s), QStringList());
}

TEST(Arquivos, PreparaPasta) {
    QTemporaryDir pasta;
    const QString arquivo = pasta.path() + u"/a/b/c/pasta.qel"_s;
    Prepara_Pasta(arquivo, u"N"_s);
    EXPECT_TRUE(QFileInfo(pasta.path() + u"/a/b/c"_s).isDir());
    EXPECT_FALSE(QFile::exists(arquivo)) << "the last component is never created";
    teste::escreve(arquivo, "x");
    Prepara_Pasta(arquivo, u"N"_s);
    EXPECT_TRUE(QFile::exists(arquivo));
    Prepara_Pasta(arquivo, u"S"_s);
    EXPECT_FALSE(QFile::exists(arquivo));
    teste::escreve(pasta.path() + u"/ocupado"_s, "um arquivo no lugar da pasta");
    EXPECT_THROW(Prepara_Pasta(pasta.path() + u"/ocupado/x/y.txt"_s, u"N"_s), ErroInesperado);
}

TEST(Arquivos, CaminhosDoWindowsENomes) {
    qputenv("QEL_DFE_RAIZ", "/raiz");
    EXPECT_EQ(caminhoNativo(u"C:\\Qel\\test\\DFe\\"_s), u"/raiz/Qel/test/DFe/"_s);
    EXPECT_EQ(caminhoNativo(u"c:/teste/Arquivo.txt"_s), u"/raiz/teste/Arquivo.txt"_s);
    EXPECT_EQ(caminhoNativo(u"/srv/dados/a.xml"_s), u"/srv/dados/a.xml"_s);
    EXPECT_EQ(caminhoNativo(u"dados\\a.xml"_s), u"dados/a.xml"_s);
    qunsetenv("QEL_DFE_RAIZ");
    EXPECT_TRUE(raizDrive().endsWith(u'/'));

    EXPECT_EQ(Nome_Arquivo(u"/a/b.xml"_s), u"b.xml"_s);
    EXPECT_EQ(Nome_Arquivo(u"b.xml"_s), QString());
    EXPECT_EQ(Nome_Arquivo(u"/a/"_s), u"a/"_s);
}

// A write that does not fit: false, the older file whole, no temporary left (a full disk once
// left an empty file in the target's place and reported success).
TEST(Arquivos, GravacaoEmDiscoCheioNaoTruncaNemDeixaTemporario) {
    QTemporaryDir dir;
    teste::Tmpfs disco(dir.path() + u"/disco"_s);
    if (!disco.montado()) GTEST_SKIP() << disco.motivo();
    const QString alvo = dir.path() + u"/disco/Retorno_DFe.Qel"_s;
    ASSERT_TRUE(gravaBytes(alvo, "anterior\r\n"));
    disco.enche();
    EXPECT_FALSE(gravaBytes(alvo, QByteArray(64 * 1024, 'n')));
    EXPECT_EQ(teste::le(alvo), "anterior\r\n");
    EXPECT_EQ(disco.arquivos(), QStringList{u"Retorno_DFe.Qel"_s});
    disco.esvazia();
    EXPECT_TRUE(gravaBytes(alvo, "novo"));
    EXPECT_EQ(teste::le(alvo), "novo");
}
