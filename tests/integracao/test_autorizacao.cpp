// The authorisation of a dropped document, end to end: the real program against the local
// authority simulator on loopback, every branch of the answer, the archive and the send journal.

#include "autoridade.h"
#include "pdf_impresso.h"
#include "servidor_smtp.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

using namespace Qt::StringLiterals;

namespace {

using namespace teste;

class Autorizacao : public teste::ComAutoridade {};

TEST_F(Autorizacao, NFeLoteComRetornoEmDuasConsultas) {
    PULA_SEM_REFERENCIA();
    const Documento d = documento(u"nfe"_s, 1, 3);
    const Execucao r = entrega(u"NFe1.xml"_s, d);
    EXPECT_EQ(r.codigo, 0) << r.saida.toStdString() << r.erros.toStdString();
    // The progress lines in their order over a successful run.
    QStringList passos;
    for (const QString& linha : r.saida.split(u'\n'))
        if (QStringList{u"Preparando XML"_s, u"Preparando para Consultar"_s, u"Consultando Retorno"_s,
                        u"Armazenando Arquivos"_s, u"Imprimindo"_s, u"Enviando Email"_s,
                        u"Limpando Arquivos Temporarios"_s}
                .contains(linha))
            passos << linha;
    EXPECT_EQ(passos,
              (QStringList{u"Preparando XML"_s, u"Preparando para Consultar"_s, u"Consultando Retorno"_s,
                           u"Consultando Retorno"_s, u"Armazenando Arquivos"_s, u"Imprimindo"_s,
                           u"Enviando Email"_s, u"Limpando Arquivos Temporarios"_s}))
        << r.saida.toStdString();
    EXPECT_EQ(pedidos(u"nfe_ret_autorizacao"_s), 2) << "105, then the protocol";
    const QByteArray proc = teste::le(arquivo(d, u"nfe"_s));
    ASSERT_FALSE(proc.isEmpty()) << r.saida.toStdString();
    EXPECT_EQ(teste::validaEsquema(proc, esquemas() + u"nfe/procNFe_v4.00.xsd"_s), QString());
    EXPECT_TRUE(proc.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?><nfeProc "
                                "xmlns=\"http://www.portalfiscal.inf.br/nfe\" versao=\"4.00\"><NFe"));
    EXPECT_TRUE(proc.contains("EMPRESA DEMONSTRA\xc3\x87\xc3\x83O LTDA")) << "UTF-8, as declared";
    // Both signatures still verify inside the proc: the document's and the authority's protocol.
    EXPECT_EQ(verificaAssinatura(proc, u"infNFe"_s, gerado(u"ca.crt"_s)), QString());
    EXPECT_EQ(verificaAssinatura(proc, u"infProt"_s, simulador.certificadoProtocolo()), QString());
    // The caller's document, the journal entry and the PDF pages of the print are gone.
    EXPECT_FALSE(QFile::exists(local(u"NFe1.xml"_s)));
    EXPECT_TRUE(pendentes().isEmpty());
    EXPECT_FALSE(QFile::exists(raiz() + u"/Qel/Danfe1-1.PDF"_s));
}

// The protocol is stored as the authority wrote it: a reason with an accent and an escaped
// ampersand keeps both, so the proc stays valid XML and the authority's signature verifies.
TEST_F(Autorizacao, ProtocoloArmazenadoComoAAutoridadeEscreveu) {
    PULA_SEM_REFERENCIA();
    simulador.cenario("autorizado-com-acento");
    const Documento d = documento(u"nfe"_s, 21);
    const Execucao r = entrega(u"NFe21.xml"_s, d);
    EXPECT_EQ(r.codigo, 0) << r.saida.toStdString();
    const QByteArray proc = teste::le(arquivo(d, u"nfe"_s));
    ASSERT_FALSE(proc.isEmpty()) << r.saida.toStdString();
    EXPECT_TRUE(
        proc.contains("<xMotivo>Autorizado o uso: s\xc3\xa9rie &amp; n\xc3\xbamero conferidos</xMotivo>"))
        << proc.toStdString();
    EXPECT_EQ(teste::validaEsquema(proc, esquemas() + u"nfe/procNFe_v4.00.xsd"_s), QString());
    EXPECT_EQ(verificaAssinatura(proc, u"infProt"_s, simulador.certificadoProtocolo()), QString());
}

// A company of alphanumeric CNPJ (12ABC34501DE35), end to end: its certificate found by the
// CNPJ's root with letters, the NF-e signed, sent and authorised, archived under a folder that
// keeps the letters; its cancellation names the CNPJ as it is; its DANFE prints the CNPJ masked and
// a barcode that reads back as the key; its NFC-e's QR code carries the key as it is. (No schema
// package at hand takes the alphanumeric key, so nothing here is validated against one.)
TEST_F(Autorizacao, EmpresaDeCnpjAlfanumerico) {
    // The reference package (PL_009p) refuses letters in a CNPJ: no package is installed here.
    extras.insert(u"QEL_DFE_ESQUEMAS"_s, raiz() + u"/sem-esquemas"_s);
    ASSERT_EQ(roda({u"--importar-certificado"_s, gerado(u"alfanumerica.pfx"_s)}, "1234\n", false).codigo, 0);
    const QString cnpj = u"12ABC34501DE35"_s;
    const Documento d = documento(u"nfe"_s, 31, 1, u"55"_s, u"43"_s, cnpj);
    // The key's check digit over the letters' values (character code minus 48), worked out apart.
    ASSERT_EQ(d.chave, u"43261212ABC34501DE35550010000000311000000311"_s);
    const Execucao r = entrega(u"NFe31.xml"_s, d);
    EXPECT_EQ(r.codigo, 0) << r.saida.toStdString() << r.erros.toStdString();
    EXPECT_TRUE(r.saida.contains(u"CNPJ="_s + cnpj + u';')) << r.saida.toStdString();
    const QString pasta = trabalho(u"Arquivos_XML/CNPJ-"_s + cnpj + u'/');
    const QString arquivoProc = pasta + u"26-12/"_s + d.chave + u"-nfe.xml"_s;
    const QByteArray proc = teste::le(arquivoProc);
    ASSERT_FALSE(proc.isEmpty()) << r.saida.toStdString();
    EXPECT_TRUE(proc.contains("<chNFe>" + d.chave.toUtf8() + "</chNFe>"));
    EXPECT_EQ(verificaAssinatura(proc, u"infNFe"_s, gerado(u"ca.crt"_s)), QString());
    EXPECT_TRUE(QDir(pasta + u"Pendentes"_s).isEmpty());

    noLocal(u"Qel_DFe.Qel"_s, "TAREFA Cancelar Documento\r\nCNPJ 12.ABC.345/01DE-35\r\nUF RS\r\nCHAVE " +
                                  d.chave.toUtf8() + "\r\nJUSTIFICATIVA Pedido cancelado pelo cliente\r\n");
    const Execucao cancelamento = roda();
    EXPECT_EQ(cancelamento.codigo, 0) << cancelamento.saida.toStdString();
    const QList<QByteArray> eventos = simulador.recebidos(u"nfe_evento"_s);
    ASSERT_FALSE(eventos.isEmpty());
    EXPECT_TRUE(eventos.last().contains("<CNPJ>12ABC34501DE35</CNPJ><chNFe>" + d.chave.toUtf8() + "</chNFe>"))
        << eventos.last().toStdString();
    EXPECT_FALSE(teste::le(pasta + u"26-12/"_s + d.chave + u"-can.xml"_s).isEmpty());

    const QString pdf = raiz() + u"/alfanumerico.pdf"_s;
    noLocal(u"Qel_DFe.Qel"_s, "TAREFA GERAR PDF\r\nCNPJ " + cnpj.toUtf8() + "\r\nARQUIVO " +
                                  arquivoProc.toUtf8() + "\r\nPDF " + pdf.toUtf8() + "\r\n");
    const Execucao danfe = roda();
    ASSERT_EQ(danfe.codigo, 0) << danfe.saida.toStdString();
    const QString texto = impresso::texto(pdf);
    EXPECT_TRUE(texto.contains(u"12.ABC.345/01DE-35"_s)) << texto.left(2000).toStdString();
    EXPECT_TRUE(texto.contains(impresso::agrupada(d.chave))) << texto.left(2000).toStdString();
    if (!impresso::temLeitorDeCodigos())
        GTEST_SKIP() << "zbarimg not found (zbar-tools): barcode not read back";
    // Read from a 300 dpi render: the letters take a symbol each, so the barcode has some 30% more
    // modules than a numeric key's in the same field, two dots of 300 dpi each (a numeric key's
    // have three, and still read at 150 dpi).
    EXPECT_EQ(impresso::codigosDaPagina(pdf, 1, 300), QStringList{u"CODE-128:"_s + d.chave});

    // Its NFC-e: the QR code carries the key with its letters, and the printed one reads back so.
    teste::escreve(trabalho(u"INI/"_s + cnpj + u".ini"_s), csc());
    const Documento nfce = documento(u"nfe"_s, 32, 1, u"65"_s, u"43"_s, cnpj);
    const Execucao consumidor = entrega(u"NFCe32.xml"_s, nfce);
    ASSERT_EQ(consumidor.codigo, 0) << consumidor.saida.toStdString();
    const QString procNfce = pasta + u"26-12/"_s + nfce.chave + u"-nfc.xml"_s;
    const QByteArray guardada = teste::le(procNfce);
    const qsizetype inicio = guardada.indexOf("<qrCode><![CDATA[") + 17;
    const QString qr = QString::fromUtf8(guardada.mid(inicio, guardada.indexOf("]]>", inicio) - inicio));
    EXPECT_TRUE(qr.contains(u"?p="_s + nfce.chave + u"|2|2|"_s)) << qr.toStdString();
    const QString cupom = raiz() + u"/alfanumerico-nfce.pdf"_s;
    noLocal(u"Qel_DFe.Qel"_s, "TAREFA GERAR PDF\r\nCNPJ " + cnpj.toUtf8() + "\r\nARQUIVO " +
                                  procNfce.toUtf8() + "\r\nPDF " + cupom.toUtf8() + "\r\n");
    ASSERT_EQ(roda().codigo, 0);
    EXPECT_EQ(impresso::codigosDaPagina(cupom, 1, 300), QStringList{u"QR-Code:"_s + qr});
}

TEST_F(Autorizacao, NFCeSincronaSemConsultaDeRetorno) {
    PULA_SEM_REFERENCIA();
    configuraEmpresa();
    const Documento d = documento(u"nfe"_s, 2, 1, u"65"_s);
    const Execucao r = entrega(u"NFCe2.xml"_s, d);
    EXPECT_EQ(r.codigo, 0) << r.saida.toStdString();
    EXPECT_EQ(pedidos(u"nfe_ret_autorizacao"_s), 0);
    const QByteArray proc = teste::le(arquivo(d, u"nfc"_s));
    EXPECT_TRUE(proc.contains("<infNFeSupl><qrCode>")) << "stored with the QR group it was sent with";
    // RS's QR page and its consultation by key, which the DANFE prints.
    EXPECT_TRUE(proc.contains(
        "<![CDATA[https://www.sefaz.rs.gov.br/NFCE/NFCE-COM.aspx?p=" + d.chave.toUtf8() + "|2|2|"));
    EXPECT_TRUE(proc.contains("<urlChave>www.sefaz.rs.gov.br/nfce/consulta</urlChave></infNFeSupl>"));
    EXPECT_EQ(teste::validaEsquema(proc, esquemas() + u"nfe/procNFe_v4.00.xsd"_s), QString());
}

// The installation's QR version table puts the state on version 3: the NFC-e goes with the
// on-line form (no CSC, no hash), its signature still verifies with the group beside it, and the
// printed receipt's QR code reads back as that text. A row the table does not understand is said.
// The document and its proc are checked against the tax reform's package, the first to take the
// version 3 form (PL_009p knows only version 2: where the newer package could not be fetched,
// none is installed).
TEST_F(Autorizacao, NFCeComQrCodeVersao3DaTabelaDaInstalacao) {
    const QString tabela = raiz() + u"/versoes_qr.conf"_s;
    teste::escreve(tabela, "# RS moved to version 3\r\n43 3\r\nRS 9\r\n");
    extras.insert(u"QEL_DFE_VERSOES_QR"_s, tabela);
    const QString reforma = esquemasReforma();
    extras.insert(u"QEL_DFE_ESQUEMAS"_s, reforma.isEmpty() ? raiz() + u"/sem-esquemas"_s : reforma);
    const Documento d = documento(u"nfe"_s, 22, 1, u"65"_s);
    const Execucao r = entrega(u"NFCe22.xml"_s, d);
    EXPECT_EQ(r.codigo, 0) << r.saida.toStdString();
    EXPECT_TRUE(
        r.saida.contains(u"Linha não entendida na tabela de versões do QR Code: "_s + tabela + u":3: RS 9"_s))
        << r.saida.toStdString();
    const QByteArray proc = teste::le(arquivo(d, u"nfc"_s));
    ASSERT_FALSE(proc.isEmpty()) << r.saida.toStdString();
    const qsizetype inicio = proc.indexOf("<qrCode><![CDATA[") + 17;
    const QString qr = QString::fromUtf8(proc.mid(inicio, proc.indexOf("]]>", inicio) - inicio));
    EXPECT_TRUE(qr.startsWith(u"https://"_s)) << qr.toStdString();
    EXPECT_TRUE(qr.endsWith(u"?p="_s + d.chave + u"|3|2"_s)) << qr.toStdString();
    EXPECT_EQ(verificaAssinatura(proc, u"infNFe"_s, gerado(u"ca.crt"_s)), QString());
    if (!reforma.isEmpty()) {
        EXPECT_FALSE(r.saida.contains(u"não validado"_s)) << r.saida.toStdString();
        EXPECT_EQ(teste::validaEsquema(proc, reforma + u"/nfe/procNFe_v4.00.xsd"_s), QString());
    }

    const QString pdf = raiz() + u"/nfce22.pdf"_s;
    noLocal(u"Qel_DFe.Qel"_s, "TAREFA GERAR PDF\r\nCNPJ 12345678000195\r\nARQUIVO " +
                                  arquivo(d, u"nfc"_s).toUtf8() + "\r\nPDF " + pdf.toUtf8() + "\r\n");
    const Execucao danfe = roda();
    ASSERT_EQ(danfe.codigo, 0) << danfe.saida.toStdString();
    if (!impresso::temLeitorDeCodigos())
        GTEST_SKIP() << "zbarimg not found (zbar-tools): QR code not read back";
    EXPECT_EQ(impresso::codigosDaPagina(pdf, 1, 300), QStringList{u"QR-Code:"_s + qr});
}

TEST_F(Autorizacao, CTeNormalSimplificadoEMDFe) {
    PULA_SEM_REFERENCIA();
    const struct {
        const char* tipo;
        int numero;
        const char* arquivo;
        const char* sufixo;
        const char* raiz;
        const char* esquema;
    } casos[] = {
        {"cte", 3, "CTe3.xml", "cte", "<cteProc ", "cte/procCTe_v4.00.xsd"},
        {"cte-simplificado", 4, "CTe4.xml", "cte", "<cteProcSimp ", "cte/procCTeSimp_v4.00.xsd"},
        {"mdfe", 5, "MDFe5.xml", "mdf", "<mdfeProc ", "mdfe/procMDFe_v3.00.xsd"},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.tipo);
        const Documento d = documento(QString::fromUtf8(c.tipo), c.numero);
        const Execucao r = entrega(QString::fromUtf8(c.arquivo), d);
        EXPECT_EQ(r.codigo, 0) << r.saida.toStdString();
        const QByteArray proc = teste::le(arquivo(d, QString::fromUtf8(c.sufixo)));
        EXPECT_TRUE(proc.contains(c.raiz)) << proc.left(300).toStdString();
        EXPECT_EQ(teste::validaEsquema(proc, esquemas() + QString::fromUtf8(c.esquema)), QString());
        const QString assinado = QByteArray(c.tipo) == "mdfe" ? u"infMDFe"_s : u"infCte"_s;
        EXPECT_EQ(verificaAssinatura(proc, assinado, gerado(u"ca.crt"_s)), QString());
        EXPECT_EQ(verificaAssinatura(proc, u"infProt"_s, simulador.certificadoProtocolo()), QString());
        // The MDF-e is not mailed.
        EXPECT_EQ(r.saida.contains(u"Enviando Email"_s), QByteArray(c.tipo) != "mdfe");
    }
}

TEST_F(Autorizacao, DenegacaoArquivadaDuasVezesSemEmail) {
    simulador.cenario("denegar");
    const Documento d = documento(u"nfe"_s, 6);
    const Execucao r = entrega(u"NFe6.xml"_s, d);
    EXPECT_EQ(r.codigo, 0) << r.saida.toStdString();
    EXPECT_TRUE(r.saida.contains(u"Codigo: 302"_s)) << r.saida.toStdString();
    EXPECT_TRUE(QFile::exists(arquivo(d, u"Dng"_s)));
    EXPECT_TRUE(teste::le(arquivo(d, u"nfe"_s)).contains("<cStat>302</cStat>"));
}

TEST_F(Autorizacao, RejeicaoApagaOsArquivosENadaArquiva) {
    simulador.cenario("rejeitar");
    const Documento d = documento(u"nfe"_s, 7);
    noLocal(u"NFe7.EML"_s, "Destinatario cliente@exemplo.com.br\r\n");
    const Execucao r = entrega(u"NFe7.xml"_s, d);
    EXPECT_EQ(r.codigo, 1);
    EXPECT_TRUE(r.saida.contains(u"Codigo: 539"_s)) << r.saida.toStdString();
    EXPECT_FALSE(QFile::exists(local(u"NFe7.xml"_s)));
    EXPECT_FALSE(QFile::exists(local(u"NFe7.EML"_s)));
    EXPECT_FALSE(QFile::exists(arquivo(d, u"nfe"_s)));
    EXPECT_TRUE(pendentes().isEmpty());
}

TEST_F(Autorizacao, DuplicidadeBuscaOProtocoloPorConsulta) {
    const Documento d = documento(u"nfe"_s, 8);
    ASSERT_EQ(entrega(u"NFe8.xml"_s, d).codigo, 0);
    QFile::remove(arquivo(d, u"nfe"_s));
    // The same document again: the authority answers 204 and a consultation gives its protocol.
    const Execucao r = entrega(u"NFe8.xml"_s, d);
    EXPECT_EQ(r.codigo, 0) << r.saida.toStdString();
    EXPECT_EQ(pedidos(u"nfe_consulta"_s), 1);
    EXPECT_TRUE(teste::le(arquivo(d, u"nfe"_s)).contains("<protNFe"));
}

TEST_F(Autorizacao, SemProtocoloNaRespostaConsulta) {
    simulador.cenario("sem-protocolo");
    const Documento d = documento(u"nfe"_s, 9);
    const Execucao r = entrega(u"NFe9.xml"_s, d);
    EXPECT_EQ(r.codigo, 0) << r.saida.toStdString();
    EXPECT_EQ(pedidos(u"nfe_consulta"_s), 1);
    EXPECT_TRUE(teste::le(arquivo(d, u"nfe"_s)).contains("<cStat>100</cStat>"));
}

TEST_F(Autorizacao, LoteQueNaoTerminaFicaPendente) {
    simulador.cenario("processando");
    extras.insert(u"QEL_DFE_CONSULTAS_RETORNO"_s, u"3"_s);
    const Documento d = documento(u"nfe"_s, 10);
    const Execucao r = entrega(u"NFe10.xml"_s, d);
    EXPECT_EQ(r.codigo, 1);
    EXPECT_EQ(pedidos(u"nfe_ret_autorizacao"_s), 3) << "bounded";
    EXPECT_TRUE(r.saida.contains(u"continua em processamento"_s)) << r.saida.toStdString();
    EXPECT_TRUE(QFile::exists(local(u"NFe10.xml"_s))) << "not a rejection: the caller's document stays";
    EXPECT_EQ(pendentes(), QStringList{d.chave + u".pendente"_s});
    EXPECT_TRUE(
        teste::le(trabalho(u"Arquivos_XML/CNPJ-12345678000195/Pendentes/"_s + d.chave + u".pendente"_s))
            .contains("RECIBO "));
    // Once the lot is processed, the next run settles it without sending it again.
    simulador.cenario("normal");
    const Execucao segunda = roda();
    EXPECT_EQ(segunda.codigo, 0) << segunda.saida.toStdString();
    EXPECT_EQ(pedidos(u"nfe_autorizacao"_s), 1);
    EXPECT_TRUE(QFile::exists(arquivo(d, u"nfe"_s)));
    EXPECT_TRUE(pendentes().isEmpty());
}

// A version 2 QR code is made with the company's CSC: without it the NFC-e is refused before it
// is signed, kept, journalled or sent, on line and offline alike, and the message names the blank
// settings. A CSC without its id takes the first id; version 3 takes no CSC at all.
TEST_F(Autorizacao, NFCeSemCscRecusadaAntesDoEnvio) {
    const QString tabela = raiz() + u"/versoes_qr.conf"_s;
    teste::escreve(tabela, "43 3\r\n");
    const struct {
        const char* caso;
        QByteArray configuracao;
        bool versao3;
        QString recusa; // blank: authorised, with this text in its QR code
        QString qr;
    } casos[] = {
        {"version 2, the CSC and its id blank",
         "Token \r\nIDToken   \r\n",
         false,
         u"em branco: TOKEN (o CSC) e IDTOKEN (o identificador do CSC)."_s,
         {}},
        {"version 2, the CSC blank", "IDToken 000002\r\n", false, u"em branco: TOKEN (o CSC)."_s, {}},
        {"version 2 offline, no settings",
         "Contingencia OFFLINE\r\nJustificativa Contingencia Sem acesso a internet na loja\r\n",
         false,
         u"em branco: TOKEN (o CSC) e IDTOKEN (o identificador do CSC)."_s,
         {}},
        {"version 2, the CSC without its id", "Token 0123456789ABCDEF\r\n", false, {}, u"|2|2|1|"_s},
        {"version 3 on line, no CSC", {}, true, {}, u"|3|2]]"_s},
    };
    int numero = 90;
    for (const auto& c : casos) {
        SCOPED_TRACE(c.caso);
        teste::escreve(trabalho(u"INI/12345678000195.ini"_s), c.configuracao);
        if (c.versao3) {
            extras.insert(u"QEL_DFE_VERSOES_QR"_s, tabela);
            // The reference package (PL_009p) knows only the version 2 QR code.
            extras.insert(u"QEL_DFE_ESQUEMAS"_s, raiz() + u"/sem-esquemas"_s);
        }
        const QString antes = simulador.registro();
        const Documento d = documento(u"nfe"_s, ++numero, 1, u"65"_s);
        const QString nome = u"NFCe"_s + QString::number(numero) + u".xml"_s;
        const Execucao r = entrega(nome, d);
        if (c.recusa.isEmpty()) {
            EXPECT_EQ(r.codigo, 0) << r.saida.toStdString();
            const QByteArray proc = teste::le(arquivo(d, u"nfc"_s));
            EXPECT_TRUE(proc.contains("?p=" + d.chave.toUtf8() + c.qr.toUtf8())) << proc.toStdString();
            continue;
        }
        EXPECT_EQ(r.codigo, 1) << r.saida.toStdString();
        EXPECT_TRUE(r.saida.contains(c.recusa)) << r.saida.toStdString();
        EXPECT_TRUE(r.saida.contains(u"O documento não foi enviado."_s));
        EXPECT_FALSE(r.saida.contains(u"Gerando Assinatura"_s)) << "refused before it is signed";
        EXPECT_EQ(teste::le(local(nome)), d.texto) << "the caller's document is left as it was";
        EXPECT_EQ(simulador.registro(), antes) << "nothing reached the authority";
        EXPECT_TRUE(pendentes().isEmpty());
        EXPECT_TRUE(QDir(trabalho(u"Arquivos_XML/CNPJ-12345678000195/Contingencia"_s))
                        .entryList(QDir::Files)
                        .isEmpty());
        QFile::remove(local(nome));
    }
}

TEST_F(Autorizacao, RespostaPerdidaResolvidaNaProximaExecucao) {
    // The authority authorised the document, but the answer never came back.
    simulador.cenario("fechar-processado");
    configuraEmpresa();
    const Documento d = documento(u"nfe"_s, 11, 1, u"65"_s);
    const Execucao r = entrega(u"NFCe11.xml"_s, d);
    EXPECT_EQ(r.codigo, 1);
    EXPECT_TRUE(r.saida.contains(u"não é conhecido"_s)) << r.saida.toStdString();
    EXPECT_TRUE(QFile::exists(local(u"NFCe11.xml"_s)));
    EXPECT_EQ(pendentes().size(), 1);
    simulador.cenario("normal");
    const Execucao segunda = roda();
    EXPECT_EQ(segunda.codigo, 0) << segunda.saida.toStdString();
    EXPECT_EQ(pedidos(u"nfe_autorizacao"_s), 1) << "never sent twice";
    EXPECT_TRUE(QFile::exists(arquivo(d, u"nfc"_s)));
    EXPECT_FALSE(QFile::exists(local(u"NFCe11.xml"_s)));
    EXPECT_TRUE(pendentes().isEmpty());
}

TEST_F(Autorizacao, EnvioQueNaoChegouEReenviado) {
    // The connection closed before the authority processed anything: the key is not in its base.
    simulador.cenario("fechar");
    configuraEmpresa();
    const Documento d = documento(u"nfe"_s, 12, 1, u"65"_s);
    EXPECT_EQ(entrega(u"NFCe12.xml"_s, d).codigo, 1);
    simulador.cenario("normal");
    const Execucao segunda = roda();
    EXPECT_EQ(segunda.codigo, 0) << segunda.saida.toStdString();
    EXPECT_EQ(pedidos(u"nfe_consulta"_s), 1);
    EXPECT_TRUE(QFile::exists(arquivo(d, u"nfc"_s)));
}

TEST_F(Autorizacao, PendenteDeOutroDocumentoResolvidoPorOutraTarefa) {
    simulador.cenario("fechar-processado");
    configuraEmpresa();
    const Documento d = documento(u"nfe"_s, 13, 1, u"65"_s);
    EXPECT_EQ(entrega(u"NFCe13.xml"_s, d).codigo, 1);
    QFile::remove(local(u"NFCe13.xml"_s));
    simulador.cenario("normal");
    noLocal(u"Qel_DFe.Qel"_s, "TAREFA Consultar Servico (NFe)\r\nCNPJ 12345678000195\r\nUF RS\r\n");
    const Execucao r = roda();
    EXPECT_EQ(r.codigo, 0) << r.saida.toStdString();
    EXPECT_TRUE(r.saida.contains(u"Documento pendente arquivado: "_s)) << r.saida.toStdString();
    EXPECT_TRUE(QFile::exists(arquivo(d, u"nfc"_s)));
    EXPECT_TRUE(pendentes().isEmpty());
}

TEST_F(Autorizacao, FalhaSoapSemCodigoNaoERejeicao) {
    simulador.cenario("erro500");
    const Documento d = documento(u"nfe"_s, 14);
    const Execucao r = entrega(u"NFe14.xml"_s, d);
    EXPECT_EQ(r.codigo, 1);
    EXPECT_TRUE(QFile::exists(local(u"NFe14.xml"_s)));
    EXPECT_EQ(pendentes().size(), 1);
}

TEST_F(Autorizacao, CopiaParaAverbacao) {
    teste::escreve(trabalho(u"INI/12345678000195.INI"_s),
                   csc() + "Averbacao " + raiz().toUtf8() + "/averbacao\r\n");
    const Documento d = documento(u"nfe"_s, 15, 1, u"65"_s);
    ASSERT_EQ(entrega(u"NFCe15.xml"_s, d).codigo, 0);
    EXPECT_EQ(teste::le(raiz() + u"/averbacao/"_s + d.chave + u"-nfc.xml"_s),
              teste::le(arquivo(d, u"nfc"_s)));
}

TEST_F(Autorizacao, EmailComOXmlEOsPdfsEmOrdem) {
    teste::ServidorSmtpTeste servidor(u"starttls"_s, gerado(u"servidor"_s));
    ASSERT_NE(servidor.porta(), 0) << servidor.erroPartida().toStdString();
    const Documento d = documento(u"nfe"_s, 17, 2);
    noLocal(u"NFe17.EML"_s,
            "Remetente fiscal@empresa.com.br\r\nDestinatario a@exemplo.com.br;b@exemplo.com.br\r\n"
            "SMTP 127.0.0.1\r\nPorta " +
                QByteArray::number(servidor.porta()) + "\r\nUsuario usuario\r\nSenha s3nh@-Certa\r\nSSL\r\n");
    const Execucao r = entrega(u"NFe17.xml"_s, d);
    EXPECT_EQ(r.codigo, 0) << r.saida.toStdString();
    ASSERT_EQ(servidor.mensagens().size(), 1) << r.saida.toStdString();
    const QJsonObject m = teste::leMensagem(servidor.mensagens().first());
    EXPECT_EQ(teste::textos(m[u"para"_s].toArray()),
              (QStringList{u"a@exemplo.com.br"_s, u"b@exemplo.com.br"_s}));
    EXPECT_EQ(m[u"assunto"_s].toString(), u"XML do Documento Fiscal Eletrônico 000000017"_s);
    const QString corpo = m[u"corpo"_s].toString();
    EXPECT_TRUE(corpo.contains(u"Chave: "_s + d.chave)) << corpo.toStdString();
    EXPECT_TRUE(corpo.contains(u"Emitente: EMPRESA DEMONSTRAÇÃO LTDA"_s)) << corpo.toStdString();
    // The stored XML, then the PDF pages of the print.
    const QJsonArray anexos = m[u"anexos"_s].toArray();
    ASSERT_EQ(anexos.size(), 2);
    EXPECT_EQ(anexos[0].toObject()[u"nome"_s].toString(), d.chave + u"-nfe.xml"_s);
    EXPECT_EQ(anexos[1].toObject()[u"nome"_s].toString(), u"Danfe17-1.PDF"_s);
    // The request and the pages are gone; the password was never shown nor logged.
    EXPECT_FALSE(QFile::exists(local(u"NFe17.EML"_s)));
    EXPECT_FALSE(QFile::exists(raiz() + u"/Qel/Danfe17-1.PDF"_s));
    EXPECT_FALSE(r.saida.contains(u"s3nh@"_s));
    EXPECT_FALSE(teste::le(local(u"Qel_DFe.log"_s)).contains("s3nh@"));
}

TEST_F(Autorizacao, ServidorDeEmailForaDoArNaoDesfazOArquivamento) {
    const Documento d = documento(u"nfe"_s, 18);
    noLocal(u"NFe18.EML"_s,
            "Remetente fiscal@empresa.com.br\r\nDestinatario a@exemplo.com.br\r\nSMTP 127.0.0.1\r\n"
            "Porta " +
                QByteArray::number(teste::portaFechada()) +
                "\r\nUsuario usuario\r\nSenha s3nh@-Certa\r\nSSL\r\n");
    const Execucao r = entrega(u"NFe18.xml"_s, d);
    EXPECT_EQ(r.codigo, 0) << r.saida.toStdString();
    EXPECT_TRUE(QFile::exists(arquivo(d, u"nfe"_s)));
    EXPECT_TRUE(r.saida.contains(u"Email não enviado: "_s)) << r.saida.toStdString();
    EXPECT_TRUE(r.saida.contains(u"Limpando Arquivos Temporarios"_s)) << "the run still cleans up";
    EXPECT_FALSE(QFile::exists(raiz() + u"/Qel/Danfe18-1.PDF"_s));
    EXPECT_FALSE(r.saida.contains(u"s3nh@"_s));
}

// The jobs the queue has finished.
int trabalhosConcluidos(const QString& fila) {
    QProcess lpstat;
    lpstat.start(u"lpstat"_s, {u"-W"_s, u"completed"_s, u"-o"_s, fila});
    lpstat.waitForFinished(10000);
    return QString::fromUtf8(lpstat.readAllStandardOutput()).count(u'\n');
}

TEST_F(Autorizacao, ImpressaoNaFilaDaConfiguracao) {
    if (QProcess::execute(u"lpstat"_s, {u"-p"_s, u"QelPDF"_s}) != 0)
        GTEST_SKIP() << "no CUPS queue QelPDF (scripts/fila-cups.sh makes it)";
    teste::escreve(local(u"INI/12345678000195.INI"_s),
                   "DANFE Impressora QelPDF\r\nDANFE Numero de Copias 2\r\n");
    const int antes = trabalhosConcluidos(u"QelPDF"_s);
    const Documento d = documento(u"nfe"_s, 19);
    const Execucao r = entrega(u"NFe19.xml"_s, d);
    EXPECT_EQ(r.codigo, 0) << r.saida.toStdString();
    EXPECT_FALSE(r.saida.contains(u"Pré-visualização"_s)) << "printed, not previewed";
    QElapsedTimer espera;
    espera.start();
    while (trabalhosConcluidos(u"QelPDF"_s) < antes + 2 && espera.elapsed() < 30000)
        QThread::msleep(200);
    EXPECT_GE(trabalhosConcluidos(u"QelPDF"_s), antes + 2) << "one job per copy";
}

// A printer that is gone: the document stays authorised and archived, the user is told it was not
// printed, and the run ends as an authorisation.
TEST_F(Autorizacao, ImpressoraAusenteNaoDesfazOArquivamento) {
    teste::escreve(local(u"INI/12345678000195.INI"_s),
                   "DANFE Impressora FilaQueNaoExiste\r\nDANFE Numero de Copias 1\r\n");
    const Documento d = documento(u"nfe"_s, 20);
    const Execucao r = entrega(u"NFe20.xml"_s, d);
    EXPECT_EQ(r.codigo, 0) << r.saida.toStdString();
    EXPECT_TRUE(QFile::exists(arquivo(d, u"nfe"_s)));
    EXPECT_TRUE(r.saida.contains(u"O documento foi autorizado e arquivado, mas não foi impresso"_s))
        << r.saida.toStdString();
    EXPECT_TRUE(r.saida.contains(u"FilaQueNaoExiste"_s));
    EXPECT_TRUE(r.saida.contains(u"Limpando Arquivos Temporarios"_s));
}

TEST_F(Autorizacao, ModoDeTeste) {
    teste::escreve(local(u"Teste.NFe"_s), "");
    configuraEmpresa();
    const Documento d = documento(u"nfe"_s, 16, 1, u"65"_s);
    extras.insert(u"QEL_DFE_RESPOSTA"_s, u"Nao"_s);
    const Execucao nao = entrega(u"NFCe16.xml"_s, d);
    EXPECT_EQ(nao.codigo, 1);
    EXPECT_TRUE(nao.saida.contains(u"Deseja transmitir este documento ?"_s));
    EXPECT_FALSE(QFile::exists(local(u"NFCe16.xml"_s))) << "the user decided not to send it";
    EXPECT_EQ(pedidos(u"nfe_autorizacao"_s), 0);
    extras.insert(u"QEL_DFE_RESPOSTA"_s, u"Sim"_s);
    EXPECT_EQ(entrega(u"NFCe16.xml"_s, d).codigo, 0);
    EXPECT_TRUE(QFile::exists(arquivo(d, u"nfc"_s)));
}

} // namespace
