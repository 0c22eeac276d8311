// The archive tree and the send journal on a temporary folder.

#include "apoio.h"
#include "flows/arquivo_documentos.h"
#include "flows/diario_envio.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace qel;

namespace {

const QString kChave = u"43240512345678000195550010000000011000000016"_s;

TEST(ArquivoDocumentos, CaminhosDaArvore) {
    const ArquivoDocumentos a(u"/srv/DFe/"_s);
    EXPECT_EQ(ArquivoDocumentos::periodo(kChave), u"24-05"_s);
    // Punctuated or bare, the CNPJ names the same company folder.
    EXPECT_EQ(a.documento(u"12.345.678/0001-95"_s, kChave, TipoDocumento::NFe),
              u"/srv/DFe/Arquivos_XML/CNPJ-12345678000195/24-05/"_s + kChave + u"-nfe.xml"_s);
    EXPECT_EQ(a.documento(u"12345678000195"_s, kChave, TipoDocumento::NFe),
              a.documento(u"12.345.678/0001-95"_s, kChave, TipoDocumento::NFe));
    // An alphanumeric CNPJ keeps its letters, upper-cased however the task wrote them.
    for (const char16_t* cnpj : {u"12.abc.345/01de-35", u"12ABC34501DE35", u" 12.ABC.345/01DE-35 "})
        EXPECT_EQ(a.pastaEmpresa(QString::fromUtf16(cnpj)), u"/srv/DFe/Arquivos_XML/CNPJ-12ABC34501DE35/"_s);
    const struct {
        TipoDocumento tipo;
        const char* sufixo;
    } sufixos[] = {{TipoDocumento::NFe, "nfe"},  {TipoDocumento::NFCe, "nfc"}, {TipoDocumento::CTe, "cte"},
                   {TipoDocumento::MDFe, "mdf"}, {TipoDocumento::NFSe, "nfs"}, {TipoDocumento::DOT, "dot"}};
    for (const auto& s : sufixos)
        EXPECT_EQ(ArquivoDocumentos::sufixo(s.tipo), QString::fromLatin1(s.sufixo));
    EXPECT_TRUE(a.denegacao(u"12345678000195"_s, kChave).endsWith(u"/24-05/"_s + kChave + u"-Dng.xml"_s));
    EXPECT_TRUE(a.cartaCorrecao(u"12345678000195"_s, kChave, 3)
                    .endsWith(u"/24-05/CCe/"_s + kChave + u"-cce-03.xml"_s));
    EXPECT_EQ(a.manifestacao(u"12345678000195"_s, u"2024-07"_s, kChave, u"cie"_s),
              u"/srv/DFe/Arquivos_XML/CNPJ-12345678000195/2024-07/Recebidas/"_s + kChave + u"-cie.xml"_s);
}

TEST(ArquivoDocumentos, GravaEmUtf8EAchaSemDistincaoDeCaixa) {
    QTemporaryDir pasta;
    const ArquivoDocumentos a(pasta.path() + u'/');
    const QString proc = u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><mdfeProc><xNome>AÇÃO</xNome>"
                         "<UFFim>RS</UFFim><cMunDescarga>4314902</cMunDescarga><nProt>143240000000001</nProt>"
                         "<UFFim>SP</UFFim><cMunDescarga>3550308</cMunDescarga></mdfeProc>"_s;
    ASSERT_TRUE(
        ArquivoDocumentos::grava(a.documento(u"12345678000195"_s, kChave, TipoDocumento::MDFe), proc));
    const QString gravado = a.procura(kChave, TipoDocumento::MDFe);
    ASSERT_FALSE(gravado.isEmpty());
    EXPECT_EQ(teste::le(gravado), proc.toUtf8() + "\r\n") << "UTF-8, one line, as the declaration says";
    const auto dados = a.dados(kChave, TipoDocumento::MDFe);
    ASSERT_TRUE(dados);
    EXPECT_EQ(dados->protocolo, u"143240000000001"_s);
    EXPECT_EQ(dados->ufEncerramento, u"35"_s) << "the last one wins";
    EXPECT_EQ(dados->munEncerramento, u"3550308"_s);
    EXPECT_FALSE(a.dados(kChave, TipoDocumento::NFe));
    // A protocol of 17 digits is read whole.
    ASSERT_TRUE(ArquivoDocumentos::grava(
        a.documento(u"12345678000195"_s, kChave, TipoDocumento::NFe),
        u"<nfeProc><protNFe><nProt>14324000000000123</nProt></protNFe></nfeProc>"_s));
    EXPECT_EQ(a.dados(kChave, TipoDocumento::NFe)->protocolo, u"14324000000000123"_s);

    // Another spelling of the folders on disk is found.
    QDir().rename(pasta.path() + u"/Arquivos_XML"_s, pasta.path() + u"/arquivos_xml"_s);
    EXPECT_FALSE(a.procura(kChave, TipoDocumento::MDFe).isEmpty());

    teste::escreve(
        pasta.path() + u"/arquivos_xml/CNPJ-12345678000195/24-05/CCe/"_s + kChave + u"-cce-02.xml"_s, "x");
    teste::escreve(
        pasta.path() + u"/arquivos_xml/CNPJ-12345678000195/24-05/CCe/"_s + kChave + u"-CCE-01.XML"_s, "x");
    EXPECT_EQ(a.sequenciasCCe(kChave), (QList<int>{1, 2}));
}

TEST(DiarioEnvio, EntradaVaiEVolta) {
    QTemporaryDir pasta;
    const DiarioEnvio diario(pasta.path() + u'/');
    Pendente p;
    p.chave = kChave;
    p.tipo = TipoDocumento::NFe;
    p.cnpj = u"12.345.678/0001-95"_s;
    p.tarefa = u"Recepcao"_s;
    p.arquivo = pasta.path() + u"/NFe1.xml"_s;
    p.enviado = QDateTime(QDate(2025, 3, 20), QTime(12, 0), Qt::UTC);
    p.situacao = u"enviado"_s;
    p.assinado = u"<NFe><xNome>JOSÉ & CIA</xNome></NFe>"_s;
    ASSERT_TRUE(diario.registra(p));
    Pendente outro = p;
    outro.chave = u"43240512345678000195550010000000021000000021"_s;
    outro.enviado = p.enviado.addSecs(-60);
    ASSERT_TRUE(diario.registra(outro));

    const auto lido = diario.procura(u"12345678000195"_s, kChave);
    ASSERT_TRUE(lido);
    EXPECT_EQ(lido->assinado, p.assinado);
    EXPECT_EQ(lido->tipo, TipoDocumento::NFe);
    EXPECT_EQ(lido->enviado, p.enviado);
    EXPECT_EQ(lido->arquivo, p.arquivo);
    const QList<Pendente> todos = diario.daEmpresa(p.cnpj);
    ASSERT_EQ(todos.size(), 2);
    EXPECT_EQ(todos.first().chave, outro.chave) << "oldest first";

    diario.encerra(p.cnpj, kChave);
    EXPECT_FALSE(diario.procura(p.cnpj, kChave));
    EXPECT_EQ(diario.daEmpresa(p.cnpj).size(), 1);
    // A hand-touched entry without its document is no entry.
    teste::escreve(diario.arquivoDe(p.cnpj, u"43240512345678000195550010000000031000000031"_s), "CHAVE x\n");
    EXPECT_EQ(diario.daEmpresa(p.cnpj).size(), 1);
}

} // namespace
