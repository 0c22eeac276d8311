// The official schema check through the real program against the simulator: a document that does
// not fit its schema is refused before any request leaves, with a readable line, the caller's
// document and an empty journal left behind; a valid one still goes; a machine without the schema
// package still sends, and says it did not check.

#include "autoridade.h"
#include "pdf_impresso.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace {

using namespace teste;

class EsquemaEnvio : public teste::ComAutoridade {};

struct Defeituoso {
    const char* tipo; // of the document script
    const char* arquivo;
    const char* linha;
};

// The issuer's name one character over the layout's maximum of 60, in each kind that is sent:
// the NF-e inside its lot, the CT-e and MDF-e (which travel compressed) as documents.
const Defeituoso kDefeituosos[] = {
    {"nfe", "NFe31.xml", "Esquema: /NFe/infNFe/emit/xNome: o valor tem 61 caracteres; o máximo é 60"},
    {"cte", "CTe32.xml", "Esquema: /CTe/infCte/emit/xNome: o valor tem 61 caracteres; o máximo é 60"},
    {"mdfe", "MDFe33.xml", "Esquema: /MDFe/infMDFe/emit/xNome: o valor tem 61 caracteres; o máximo é 60"},
};

TEST_F(EsquemaEnvio, DocumentoForaDoEsquemaNaoSai) {
    PULA_SEM_REFERENCIA();
    int numero = 31;
    for (const Defeituoso& c : kDefeituosos) {
        SCOPED_TRACE(c.tipo);
        const Documento d = documento(QString::fromUtf8(c.tipo), numero++);
        static const QRegularExpression nomeEmitente(u"(<emit>.*?<xNome>)[^<]*"_s);
        QString texto = QString::fromUtf8(d.texto);
        ASSERT_TRUE(nomeEmitente.match(texto).hasMatch());
        texto.replace(nomeEmitente, u"\\1"_s + QString(61, u'A'));
        const QByteArray entregue = texto.toUtf8();

        const Execucao r = entrega(QString::fromUtf8(c.arquivo), {d.chave, entregue});
        EXPECT_EQ(r.codigo, 1) << r.saida.toStdString();
        EXPECT_TRUE(r.saida.contains(QString::fromUtf8(c.linha))) << r.saida.toStdString();
        EXPECT_TRUE(r.saida.contains(u"O documento não foi enviado: não segue o leiaute oficial."_s));
        EXPECT_FALSE(r.saida.contains(u"Enviando XML"_s)) << r.saida.toStdString();
        EXPECT_TRUE(simulador.registro().isEmpty())
            << "nothing was sent: " << simulador.registro().toStdString();
        EXPECT_TRUE(pendentes().isEmpty());
        EXPECT_EQ(teste::le(local(QString::fromUtf8(c.arquivo))), entregue)
            << "the caller's document untouched";
        EXPECT_TRUE(teste::le(local(u"Qel_DFe.log"_s)).contains(c.linha)) << "the log keeps the reason";
        QFile::remove(local(QString::fromUtf8(c.arquivo)));
    }
}

// The same document, once mended, is authorised: the check refuses what is wrong, not the kind.
TEST_F(EsquemaEnvio, DocumentoValidoSaiSemAviso) {
    PULA_SEM_REFERENCIA();
    const Documento d = documento(u"nfe"_s, 34, 3);
    const Execucao r = entrega(u"NFe34.xml"_s, d);
    EXPECT_EQ(r.codigo, 0) << r.saida.toStdString();
    EXPECT_FALSE(r.saida.contains(u"Esquema"_s)) << r.saida.toStdString();
    EXPECT_FALSE(r.saida.contains(u"não validado"_s)) << r.saida.toStdString();
    EXPECT_FALSE(teste::le(arquivo(d, u"nfe"_s)).isEmpty());
}

// Without the package the run goes on, and says once why the document was not checked, though the
// lot and its result queries each had a schema to look for.
TEST_F(EsquemaEnvio, SemPacoteInstaladoEnviaEDiz) {
    PULA_SEM_REFERENCIA();
    const QString pasta = raiz() + u"/esquemas-ausentes"_s;
    extras.insert(u"QEL_DFE_ESQUEMAS"_s, pasta);
    const Documento d = documento(u"nfe"_s, 35, 1);
    const Execucao r = entrega(u"NFe35.xml"_s, d);
    EXPECT_EQ(r.codigo, 0) << r.saida.toStdString();
    const QString linha = u"Documento não validado pelo esquema: nenhum esquema instalado em "_s + pasta;
    EXPECT_EQ(r.saida.count(linha), 1) << r.saida.toStdString();
    EXPECT_FALSE(teste::le(arquivo(d, u"nfe"_s)).isEmpty());
}

// An NF-e of the tax reform (IBSCBS in each item, IBSCBSTot): the package before the reform refuses
// the new groups before anything leaves; with the reform's package installed over it a fault inside
// the new group is still refused by name, and the sound document is authorised, stored as a proc
// that package takes, and printed with its IBS and CBS totals.
TEST_F(EsquemaEnvio, NFeDaReformaComOPacoteDaReforma) {
    PULA_SEM_REFERENCIA();
    const QString reforma = esquemasReforma();
    if (reforma.isEmpty())
        GTEST_SKIP() << "the tax reform's schema package is not installed (scripts/esquemas-reforma.sh "
                        "into the folder named by QEL_ESQUEMAS_REFORMA)";
    const Documento d = documento(u"nfe-reforma"_s, 36, 3);

    const struct {
        const char* caso;
        QString esquemas;
        QByteArray texto;
        const char* linha;
    } recusas[] = {
        {"package before the reform", esquemas(), d.texto,
         "Esquema: /NFe/infNFe/det[1]/imposto/IBSCBS: elemento que o esquema instalado não prevê"},
        {"class of the IBS/CBS taxation one digit short", reforma,
         QByteArray(d.texto).replace("<cClassTrib>000001</cClassTrib>", "<cClassTrib>00001</cClassTrib>"),
         "Esquema: /NFe/infNFe/det[1]/imposto/IBSCBS/cClassTrib: "},
    };
    for (const auto& c : recusas) {
        SCOPED_TRACE(c.caso);
        extras.insert(u"QEL_DFE_ESQUEMAS"_s, c.esquemas);
        const Execucao r = entrega(u"NFe36.xml"_s, {d.chave, c.texto});
        EXPECT_EQ(r.codigo, 1) << r.saida.toStdString();
        EXPECT_TRUE(r.saida.contains(QString::fromUtf8(c.linha))) << r.saida.toStdString();
        EXPECT_TRUE(simulador.registro().isEmpty()) << simulador.registro().toStdString();
        EXPECT_TRUE(pendentes().isEmpty());
        QFile::remove(local(u"NFe36.xml"_s));
    }

    extras.insert(u"QEL_DFE_ESQUEMAS"_s, reforma);
    const Execucao r = entrega(u"NFe36.xml"_s, d);
    ASSERT_EQ(r.codigo, 0) << r.saida.toStdString();
    EXPECT_FALSE(r.saida.contains(u"Esquema"_s)) << r.saida.toStdString();
    const QString arquivoProc = arquivo(d, u"nfe"_s);
    const QByteArray proc = teste::le(arquivoProc);
    ASSERT_TRUE(proc.contains("<IBSCBSTot><vBCIBSCBS>63.00</vBCIBSCBS>")) << proc.left(400).toStdString();
    EXPECT_EQ(teste::validaEsquema(proc, reforma + u"/nfe/procNFe_v4.00.xsd"_s), QString());
    EXPECT_EQ(verificaAssinatura(proc, u"infNFe"_s, gerado(u"ca.crt"_s)), QString());
    EXPECT_EQ(verificaAssinatura(proc, u"infProt"_s, simulador.certificadoProtocolo()), QString());

    const QString pdf = raiz() + u"/reforma.pdf"_s;
    noLocal(u"Qel_DFe.Qel"_s, "TAREFA GERAR PDF\r\nCNPJ 12345678000195\r\nARQUIVO " + arquivoProc.toUtf8() +
                                  "\r\nPDF " + pdf.toUtf8() + "\r\n");
    const Execucao danfe = roda();
    ASSERT_EQ(danfe.codigo, 0) << danfe.saida.toStdString();
    const QString texto = impresso::texto(pdf);
    for (const QString& esperado :
         {u"BASE DE CÁLCULO DO IBS/CBS"_s, u"VALOR DA CBS"_s, u"0,57"_s, u"63,63"_s})
        EXPECT_TRUE(texto.contains(esperado)) << esperado.toStdString() << "\n" << texto.toStdString();
}

} // namespace

// A query the caller waits an answer file for: a state registration the layout does not take is
// refused before it leaves, and the answer file says why.
TEST_F(EsquemaEnvio, ConsultaRecusadaDeixaOMotivoNoArquivoDeRetorno) {
    PULA_SEM_REFERENCIA();
    noLocal(u"Qel_DFe.Qel"_s,
            "TAREFA Cadastro\r\nCNPJ 12345678000195\r\nCONSULTA UF RS\r\nCONSULTA DC ABC\r\n");
    const Execucao r = roda();
    EXPECT_EQ(r.codigo, 1) << r.saida.toStdString();
    EXPECT_TRUE(simulador.registro().isEmpty()) << simulador.registro().toStdString();
    const QByteArray retorno = teste::le(local(u"Retorno_DFe.Qel"_s));
    EXPECT_TRUE(retorno.startsWith("Esquema: /ConsCad/infCons/IE: o valor 'ABC' n")) << retorno.toStdString();
}
