// Contingency emission end to end: the real program against the local authority simulator. An
// NF-e authorised by the national environment's virtual authoriser (SVC-AN) under a new key, and
// its consultation and cancellation there; an NFC-e issued offline, printed without a word to the
// authority and sent later by TRANSMITIR PENDENTES; an NF-e in EPEC, registered at the national
// environment, then sent the same way, and mailed when the caller asked for it; what is refused
// before anything is sent.

#include "autoridade.h"
#include "pdf_impresso.h"
#include "servidor_smtp.h"

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

using namespace teste;

class Contingencia : public teste::ComAutoridade {
protected:
    // The company's settings file on the server folder, with the CSC the NFC-e's QR code takes.
    void configura(const QByteArray& linhas) { configuraEmpresa(linhas); }
    // The key the program says the document took.
    static QString novaChave(const QString& saida) {
        const auto m = QRegularExpression(u"nova chave de acesso: (\\w{44})"_s).match(saida);
        return m.hasMatch() ? m.captured(1) : QString();
    }
    QString contingencia(const QString& chave) const {
        return trabalho(u"Arquivos_XML/CNPJ-12345678000195/Contingencia/"_s + chave + u"-nfc.xml"_s);
    }
    QString proc(const QString& chave, const QString& sufixo) const {
        return trabalho(u"Arquivos_XML/CNPJ-12345678000195/26-12/"_s + chave + u'-' + sufixo + u".xml"_s);
    }
    // The simulator's log lines of requests to a path.
    int pedidosEm(const QString& caminho) const {
        return simulador.registro().count(u"caminho="_s + caminho + u' ');
    }
};

TEST_F(Contingencia, NFeAutorizadaNoSvcAnComNovaChave) {
    PULA_SEM_REFERENCIA();
    configura(
        "Contingencia SVC-AN\r\nJustificativa Contingencia SEFAZ de origem fora do ar desde as 10h\r\n");
    const Documento d = documento(u"nfe"_s, 31);
    const Execucao r = entrega(u"NFe31.xml"_s, d);
    ASSERT_EQ(r.codigo, 0) << r.saida.toStdString();

    // The key differs from the caller's in its emission digit (35) and check digit only.
    const QString chave = novaChave(r.saida);
    ASSERT_EQ(chave.size(), 44) << r.saida.toStdString();
    EXPECT_EQ(chave.left(34), d.chave.left(34));
    EXPECT_EQ(chave.at(34), u'6');
    EXPECT_EQ(chave.mid(35, 8), d.chave.mid(35, 8));

    // The lot and its receipt went to SVC-AN's paths, none to the state's.
    EXPECT_EQ(pedidosEm(u"/NFeAutorizacao4/NFeAutorizacao4.asmx"_s), 1) << simulador.registro().toStdString();
    EXPECT_GE(pedidosEm(u"/NFeRetAutorizacao4/NFeRetAutorizacao4.asmx"_s), 1);
    EXPECT_EQ(pedidosEm(u"/ws/NfeAutorizacao/NFeAutorizacao4.asmx"_s), 0);
    const QList<QByteArray> lotes = simulador.recebidos(u"nfe_autorizacao"_s);
    ASSERT_EQ(lotes.size(), 1);
    EXPECT_TRUE(lotes.first().contains("<tpEmis>6</tpEmis>"));
    EXPECT_TRUE(lotes.first().contains("<xJust>SEFAZ de origem fora do ar desde as 10h</xJust>"));
    EXPECT_TRUE(lotes.first().contains("Id=\"NFe" + chave.toUtf8() + '"'));

    // Archived under the new key: schema, both signatures, the entry into contingency.
    const QByteArray armazenado = teste::le(proc(chave, u"nfe"_s));
    ASSERT_FALSE(armazenado.isEmpty()) << r.saida.toStdString();
    EXPECT_FALSE(QFile::exists(proc(d.chave, u"nfe"_s)));
    EXPECT_EQ(teste::validaEsquema(armazenado, esquemas() + u"nfe/procNFe_v4.00.xsd"_s), QString());
    EXPECT_EQ(verificaAssinatura(armazenado, u"infNFe"_s, gerado(u"ca.crt"_s)), QString());
    EXPECT_EQ(verificaAssinatura(armazenado, u"infProt"_s, simulador.certificadoProtocolo()), QString());
    EXPECT_TRUE(QRegularExpression(u"<dhCont>2\\d{3}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d-0[23]:00</dhCont>"_s)
                    .match(QString::fromUtf8(armazenado))
                    .hasMatch());
    EXPECT_TRUE(armazenado.contains("<chNFe>" + chave.toUtf8() + "</chNFe>"));
    EXPECT_FALSE(QFile::exists(local(u"NFe31.xml"_s)));
    EXPECT_TRUE(pendentes().isEmpty());

    // While in contingency, its consultation and its cancellation go to SVC-AN too.
    noLocal(u"Qel_DFe.Qel"_s, "TAREFA CONSULTAR DOCUMENTO\r\nCHAVE " + chave.toUtf8() + "\r\n");
    const Execucao consulta = roda();
    EXPECT_EQ(consulta.codigo, 0) << consulta.saida.toStdString();
    EXPECT_EQ(pedidosEm(u"/NFeConsultaProtocolo4/NFeConsultaProtocolo4.asmx"_s), 1);
    noLocal(u"Qel_DFe.Qel"_s, "TAREFA CANCELAR DOCUMENTO\r\nCHAVE " + chave.toUtf8() +
                                  "\r\nJUSTIFICATIVA Venda desfeita a pedido do cliente\r\n");
    const Execucao cancela = roda();
    EXPECT_EQ(cancela.codigo, 0) << cancela.saida.toStdString();
    EXPECT_EQ(pedidosEm(u"/NFeRecepcaoEvento4/NFeRecepcaoEvento4.asmx"_s), 1);
    EXPECT_TRUE(QFile::exists(proc(chave, u"can"_s)));
}

// Refused before anything is signed or sent; the caller's document stays for a run with the
// settings mended.
TEST_F(Contingencia, RecusasAntesDoEnvio) {
    const struct {
        const char* caso;
        QByteArray configuracao;
        const char* modelo;
        QString motivo;
    } casos[] = {
        {"SVC without a justification", "Contingencia SVC-AN\r\n", "55",
         u"pede a justificativa de entrada em contingência"_s},
        {"SVC with a justification too short", "Contingencia SVC\r\nJustificativa Contingencia Sem rede\r\n",
         "55", u"de 15 a 256 caracteres"_s},
        {"NFC-e in SVC", "Contingencia SVC-RS\r\nJustificativa Contingencia SEFAZ de origem fora do ar\r\n",
         "65", u"a NFC-e não é recebida em SVC"_s},
        {"NF-e offline",
         "Contingencia OFFLINE\r\nJustificativa Contingencia Sem acesso a internet na loja\r\n", "55",
         u"é só da NFC-e"_s},
        {"NFC-e in EPEC", "Contingencia EPEC\r\nJustificativa Contingencia SEFAZ de origem fora do ar\r\n",
         "65", u"EPEC é aqui só da NF-e"_s},
        {"an unknown form", "Contingencia SCAN\r\n", "55", u"Contingência não reconhecida: \"SCAN\""_s},
    };
    int numero = 40;
    for (const auto& c : casos) {
        SCOPED_TRACE(c.caso);
        configura(c.configuracao);
        const QString modelo = QString::fromLatin1(c.modelo);
        const Documento d = documento(u"nfe"_s, ++numero, 1, modelo);
        const QString nome = (modelo == u"65"_s ? u"NFCe"_s : u"NFe"_s) + QString::number(numero) + u".xml"_s;
        const Execucao r = entrega(nome, d);
        EXPECT_EQ(r.codigo, 1) << r.saida.toStdString();
        EXPECT_TRUE(r.saida.contains(c.motivo)) << r.saida.toStdString();
        EXPECT_TRUE(r.saida.contains(u"O documento não foi enviado."_s));
        EXPECT_TRUE(QFile::exists(local(nome)));
        QFile::remove(local(nome));
    }
    EXPECT_EQ(simulador.registro(), QString()) << "nothing reached the authority";
    EXPECT_TRUE(pendentes().isEmpty());
}

TEST_F(Contingencia, NFCeOfflineImpressaEDepoisTransmitida) {
    PULA_SEM_REFERENCIA();
    configura("Contingencia OFFLINE\r\nJustificativa Contingencia Sem acesso a internet na loja\r\n");
    const Documento d = documento(u"nfe"_s, 51, 2, u"65"_s);
    const Execucao emissao = entrega(u"NFCe51.xml"_s, d);
    ASSERT_EQ(emissao.codigo, 0) << emissao.saida.toStdString();
    EXPECT_TRUE(emissao.saida.contains(u"Imprimindo"_s));
    EXPECT_TRUE(emissao.saida.contains(u"aguardando transmissão"_s)) << emissao.saida.toStdString();
    EXPECT_EQ(simulador.registro(), QString()) << "offline: the authority is not asked";
    const QString chave = novaChave(emissao.saida);
    ASSERT_EQ(chave.size(), 44) << emissao.saida.toStdString();
    EXPECT_EQ(chave.at(34), u'9');
    EXPECT_FALSE(QFile::exists(local(u"NFCe51.xml"_s)));

    // Kept signed, with the offline QR code: day of emission, total, digest in hexadecimal.
    const QByteArray guardado = teste::le(contingencia(chave));
    ASSERT_FALSE(guardado.isEmpty());
    EXPECT_TRUE(guardado.contains("<tpEmis>9</tpEmis>"));
    EXPECT_EQ(verificaAssinatura(guardado, u"infNFe"_s, gerado(u"ca.crt"_s)), QString());
    const QString qr = QString::fromUtf8(guardado);
    const auto parametros =
        QRegularExpression(
            u"\\?p=(\\d{44})\\|2\\|2\\|(\\d\\d)\\|42\\.00\\|([0-9a-f]+)\\|1\\|([0-9A-F]{40})\\]\\]"_s)
            .match(qr);
    ASSERT_TRUE(parametros.hasMatch()) << qr.toStdString();
    EXPECT_EQ(parametros.captured(1), chave);
    const auto digest = QRegularExpression(u"<DigestValue>([^<]+)</DigestValue>"_s).match(qr);
    EXPECT_EQ(QByteArray::fromHex(parametros.captured(3).toLatin1()), digest.captured(1).toLatin1());
    // The journal knows it is a contingency document that has not gone out.
    const QStringList entradas = pendentes();
    ASSERT_EQ(entradas, QStringList{chave + u".pendente"_s});
    const QByteArray entrada =
        teste::le(trabalho(u"Arquivos_XML/CNPJ-12345678000195/Pendentes/"_s + entradas.first()));
    EXPECT_TRUE(entrada.contains("CONTINGENCIA OFFLINE"));
    EXPECT_TRUE(entrada.contains("TRANSMITIDO NAO"));

    // Its receipt carries the contingency notice.
    const QString pdf = raiz() + u"/offline.pdf"_s;
    noLocal(u"Qel_DFe.Qel"_s, "TAREFA GERAR PDF\r\nCNPJ 12345678000195\r\nARQUIVO " +
                                  contingencia(chave).toUtf8() + "\r\nPDF " + pdf.toUtf8() + "\r\n");
    ASSERT_EQ(roda().codigo, 0);
    const QString texto = impresso::texto(pdf);
    EXPECT_TRUE(texto.contains(u"EMITIDA EM CONTINGÊNCIA"_s)) << texto.toStdString();
    EXPECT_TRUE(texto.contains(u"Pendente de autorização"_s));

    // Another task of the company, still offline, leaves it alone.
    noLocal(u"Qel_DFe.Qel"_s, "TAREFA CONSULTAR SERVICO (NFE)\r\nCNPJ 12345678000195\r\nUF RS\r\n");
    roda();
    EXPECT_EQ(simulador.recebidos(u"nfe_autorizacao"_s).size(), 0);

    // The connection is back: sent as it was signed, authorised, its proc stored.
    configura({});
    noLocal(u"Qel_DFe.Qel"_s, "TAREFA TRANSMITIR PENDENTES\r\nCNPJ 12345678000195\r\n");
    const Execucao transmissao = roda();
    EXPECT_EQ(transmissao.codigo, 0) << transmissao.saida.toStdString();
    const QList<QByteArray> enviados = simulador.recebidos(u"nfe_autorizacao"_s);
    ASSERT_EQ(enviados.size(), 1);
    EXPECT_TRUE(enviados.first().contains(guardado.mid(guardado.indexOf("<NFe"), 200)));
    const QByteArray autorizado = teste::le(proc(chave, u"nfc"_s));
    ASSERT_FALSE(autorizado.isEmpty()) << transmissao.saida.toStdString();
    EXPECT_TRUE(autorizado.contains("<cStat>100</cStat>"));
    EXPECT_EQ(teste::validaEsquema(autorizado, esquemas() + u"nfe/procNFe_v4.00.xsd"_s), QString());
    EXPECT_EQ(verificaAssinatura(autorizado, u"infNFe"_s, gerado(u"ca.crt"_s)), QString());
    EXPECT_FALSE(QFile::exists(contingencia(chave)));
    EXPECT_TRUE(pendentes().isEmpty());

    // Nothing left to send.
    noLocal(u"Qel_DFe.Qel"_s, "TAREFA TRANSMITIR PENDENTES\r\nCNPJ 12345678000195\r\n");
    const Execucao vazia = roda();
    EXPECT_EQ(vazia.codigo, 0);
    EXPECT_TRUE(vazia.saida.contains(u"Nenhum documento emitido em contingência aguarda transmissão"_s));
    EXPECT_EQ(simulador.recebidos(u"nfe_autorizacao"_s).size(), 1);
}

// A state on QR version 3: the offline NFC-e's code carries day, total, recipient type and the
// issuer's signature of those parameters instead of the CSC hash. Checked, as it is issued,
// against the tax reform's package, the first whose pattern takes that form; then authorised.
TEST_F(Contingencia, NFCeOfflineComQrCodeVersao3) {
    PULA_SEM_REFERENCIA();
    const QString reforma = esquemasReforma();
    if (reforma.isEmpty())
        GTEST_SKIP() << "the tax reform's schema package is not installed (scripts/esquemas-reforma.sh)";
    extras.insert(u"QEL_DFE_ESQUEMAS"_s, reforma);
    const QString tabela = raiz() + u"/versoes_qr.conf"_s;
    teste::escreve(tabela, "43 3\r\n");
    extras.insert(u"QEL_DFE_VERSOES_QR"_s, tabela);
    configura("Contingencia OFFLINE\r\nJustificativa Contingencia Sem acesso a internet na loja\r\n");
    const Documento d = documento(u"nfe"_s, 52, 1, u"65"_s);
    const Execucao emissao = entrega(u"NFCe52.xml"_s, d);
    ASSERT_EQ(emissao.codigo, 0) << emissao.saida.toStdString();
    EXPECT_FALSE(emissao.saida.contains(u"Esquema"_s)) << emissao.saida.toStdString();
    EXPECT_FALSE(emissao.saida.contains(u"não validado"_s)) << emissao.saida.toStdString();
    const QString chave = novaChave(emissao.saida);
    ASSERT_EQ(chave.size(), 44) << emissao.saida.toStdString();
    const QByteArray guardado = teste::le(contingencia(chave));
    // No recipient: its type and number stay empty.
    const auto qr =
        QRegularExpression(u"\\?p=(\\d{44})\\|3\\|2\\|(\\d\\d)\\|21\\.00\\|\\|\\|([A-Za-z0-9+/]+=*)\\]\\]"_s)
            .match(QString::fromUtf8(guardado));
    ASSERT_TRUE(qr.hasMatch()) << guardado.toStdString();
    EXPECT_EQ(qr.captured(1), chave);

    configura({});
    noLocal(u"Qel_DFe.Qel"_s, "TAREFA TRANSMITIR PENDENTES\r\nCNPJ 12345678000195\r\n");
    const Execucao transmissao = roda();
    EXPECT_EQ(transmissao.codigo, 0) << transmissao.saida.toStdString();
    const QByteArray autorizado = teste::le(proc(chave, u"nfc"_s));
    EXPECT_TRUE(autorizado.contains("<cStat>100</cStat>")) << transmissao.saida.toStdString();
    EXPECT_EQ(teste::validaEsquema(autorizado, reforma + u"/nfe/procNFe_v4.00.xsd"_s), QString());
}

TEST_F(Contingencia, NFeEmEpecRegistradaImpressaEDepoisTransmitida) {
    PULA_SEM_REFERENCIA();
    configura("Contingencia EPEC\r\nJustificativa Contingencia SEFAZ de origem fora do ar desde as 10h\r\n");
    const Documento d = documento(u"nfe"_s, 71);
    const Execucao emissao = entrega(u"NFe71.xml"_s, d);
    ASSERT_EQ(emissao.codigo, 0) << emissao.saida.toStdString();
    const QString chave = novaChave(emissao.saida);
    ASSERT_EQ(chave.size(), 44) << emissao.saida.toStdString();
    EXPECT_EQ(chave.at(34), u'4');

    // Only the prior registration went out, to the national environment, and it is valid.
    EXPECT_EQ(pedidosEm(u"/NFeRecepcaoEvento4/NFeRecepcaoEvento4.asmx"_s), 1)
        << simulador.registro().toStdString();
    EXPECT_TRUE(simulador.recebidos(u"nfe_autorizacao"_s).isEmpty());
    const QList<QByteArray> eventos = simulador.recebidos(u"nfe_evento"_s);
    ASSERT_EQ(eventos.size(), 1);
    const QByteArray& evento = eventos.first();
    EXPECT_EQ(teste::validaEsquema(evento, esquemas() + u"nfe/evento_generico/envEvento_v1.00.xsd"_s),
              QString());
    // The generic envelope takes any detail; the EPEC package checks the detail's every field.
    if (const QString reforma = esquemasReforma(); !reforma.isEmpty()) {
        EXPECT_EQ(teste::validaEsquema(evento, reforma + u"/nfe/envEPEC_v1.00.xsd"_s), QString());
    }
    for (const QByteArray& parte :
         {QByteArray("<cOrgao>91</cOrgao>"), QByteArray("<tpEvento>110140</tpEvento>"),
          "<chNFe>" + chave.toUtf8() + "</chNFe>", QByteArray("<descEvento>EPEC</descEvento>"),
          QByteArray("<cOrgaoAutor>43</cOrgaoAutor>"),
          QByteArray("<dest><UF>RS</UF><CNPJ>98765432000110</CNPJ><vNF>21.00</vNF>")})
        EXPECT_TRUE(evento.contains(parte)) << parte.toStdString() << "\n" << evento.toStdString();
    EXPECT_TRUE(teste::le(proc(chave, u"epec"_s)).contains("<tpEvento>110140</tpEvento>"));

    // The document waits signed in tpEmis 4, and its DANFE says it is in contingency.
    const QString guardado =
        trabalho(u"Arquivos_XML/CNPJ-12345678000195/Contingencia/"_s + chave + u"-nfe.xml"_s);
    EXPECT_TRUE(teste::le(guardado).contains("<tpEmis>4</tpEmis>"));
    EXPECT_EQ(pendentes(), QStringList{chave + u".pendente"_s});
    const QString pdf = raiz() + u"/epec.pdf"_s;
    noLocal(u"Qel_DFe.Qel"_s, "TAREFA GERAR PDF\r\nCNPJ 12345678000195\r\nARQUIVO " + guardado.toUtf8() +
                                  "\r\nPDF " + pdf.toUtf8() + "\r\n");
    ASSERT_EQ(roda().codigo, 0);
    EXPECT_TRUE(impresso::texto(pdf).contains(u"Contingencia"_s));

    // The state's authoriser answers again: the NF-e itself is authorised.
    configura({});
    noLocal(u"Qel_DFe.Qel"_s, "TAREFA TRANSMITIR PENDENTES\r\nCNPJ 12345678000195\r\n");
    const Execucao transmissao = roda();
    EXPECT_EQ(transmissao.codigo, 0) << transmissao.saida.toStdString();
    const QList<QByteArray> lotes = simulador.recebidos(u"nfe_autorizacao"_s);
    ASSERT_EQ(lotes.size(), 1);
    EXPECT_TRUE(lotes.first().contains("<tpEmis>4</tpEmis>"));
    EXPECT_EQ(pedidosEm(u"/ws/NfeAutorizacao/NFeAutorizacao4.asmx"_s), 1);
    const QByteArray autorizado = teste::le(proc(chave, u"nfe"_s));
    EXPECT_TRUE(autorizado.contains("<cStat>100</cStat>")) << transmissao.saida.toStdString();
    EXPECT_FALSE(QFile::exists(guardado));
    EXPECT_TRUE(pendentes().isEmpty());
}

// The caller asks for the e-mail of a document issued offline or in EPEC: nothing can go until it
// is authorised, so the request waits beside the kept copy and goes with the authorised proc and
// its PDF when TRANSMITIR PENDENTES gets the authorisation. A rejected document is not mailed and
// its request stays beside the copy kept for correction; a denied one is not mailed; a mail
// server out of reach does not undo the authorisation.
TEST_F(Contingencia, EmailPedidoNaEmissaoEnviadoQuandoAutorizado) {
    teste::ServidorSmtpTeste servidor(u"starttls"_s, gerado(u"servidor"_s));
    ASSERT_NE(servidor.porta(), 0) << servidor.erroPartida().toStdString();
    const QByteArray offline =
        "Contingencia OFFLINE\r\nJustificativa Contingencia Sem acesso a internet na loja\r\n";
    const QByteArray epec =
        "Contingencia EPEC\r\nJustificativa Contingencia SEFAZ de origem fora do ar desde as 10h\r\n";
    const struct {
        const char* caso;
        QByteArray configuracao;
        const char* modelo;
        const char* cenario;
        bool servidorNoAr;
        int codigo;      // of TRANSMITIR PENDENTES
        bool enviado;    // one message reached the server
        bool pedidoFica; // the request stays in the contingency folder
    } casos[] = {
        {"offline NFC-e, authorised", offline, "65", "normal", true, 0, true, false},
        {"EPEC NF-e, authorised", epec, "55", "normal", true, 0, true, false},
        {"offline NFC-e, rejected", offline, "65", "rejeitar", true, 1, false, true},
        {"offline NFC-e, use denied", offline, "65", "denegar", true, 0, false, false},
        {"offline NFC-e, mail server out of reach", offline, "65", "normal", false, 0, false, false},
    };
    int numero = 60;
    for (const auto& c : casos) {
        SCOPED_TRACE(c.caso);
        const QString modelo = QString::fromLatin1(c.modelo);
        const bool nfce = modelo == u"65"_s;
        const QString sufixo = nfce ? u"nfc"_s : u"nfe"_s;
        const QString base = (nfce ? u"NFCe"_s : u"NFe"_s) + QString::number(++numero);
        const QByteArray pedido =
            "Remetente fiscal@empresa.com.br\r\nDestinatario consumidor@exemplo.com.br\r\nSMTP 127.0.0.1\r\n"
            "Porta " +
            QByteArray::number(c.servidorNoAr ? servidor.porta() : teste::portaFechada()) +
            "\r\nUsuario usuario\r\nSenha s3nh@-Certa\r\nSSL\r\n";
        const qsizetype mensagensAntes = servidor.mensagens().size();

        configura(c.configuracao);
        noLocal(base + u".EML"_s, pedido);
        const Execucao emissao = entrega(base + u".xml"_s, documento(u"nfe"_s, numero, 1, modelo));
        ASSERT_EQ(emissao.codigo, 0) << emissao.saida.toStdString();
        const QString chave = novaChave(emissao.saida);
        ASSERT_EQ(chave.size(), 44) << emissao.saida.toStdString();
        EXPECT_TRUE(emissao.saida.contains(u"Imprimindo"_s));
        EXPECT_EQ(servidor.mensagens().size(), mensagensAntes) << "nothing mailed before the authorisation";
        // The request waits beside the kept copy, as the caller wrote it and private (it holds the
        // SMTP password); the caller's copy is gone with the document.
        const QString guardado =
            trabalho(u"Arquivos_XML/CNPJ-12345678000195/Contingencia/"_s + chave + u'-' + sufixo + u".EML"_s);
        EXPECT_EQ(teste::le(guardado), pedido);
        struct stat info {};
        ASSERT_EQ(stat(QFile::encodeName(guardado).constData(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u);
        EXPECT_FALSE(QFile::exists(local(base + u".EML"_s)));
        EXPECT_FALSE(QFile::exists(local(base + u".xml"_s)));

        configura({});
        simulador.cenario(c.cenario);
        noLocal(u"Qel_DFe.Qel"_s, "TAREFA TRANSMITIR PENDENTES\r\nCNPJ 12345678000195\r\n");
        const Execucao transmissao = roda();
        simulador.cenario("normal");
        EXPECT_EQ(transmissao.codigo, c.codigo)
            << transmissao.saida.toStdString() << transmissao.erros.toStdString();
        EXPECT_EQ(QFile::exists(guardado), c.pedidoFica) << transmissao.saida.toStdString();
        EXPECT_TRUE(pendentes().isEmpty());
        EXPECT_FALSE(transmissao.saida.contains(u"s3nh@"_s));
        EXPECT_TRUE(QDir(raiz() + u"/Qel"_s).entryList({u"*.PDF"_s}, QDir::Files).isEmpty())
            << "the PDF of the message is not left behind";
        const QByteArray autorizado = teste::le(proc(chave, sufixo));
        if (!c.servidorNoAr) {
            EXPECT_TRUE(autorizado.contains("<cStat>100</cStat>")) << "the authorisation stands";
            EXPECT_TRUE(
                transmissao.saida.contains(u"O documento foi arquivado, mas o email não foi enviado."_s))
                << transmissao.saida.toStdString();
        }
        if (!c.enviado) {
            EXPECT_EQ(servidor.mensagens().size(), mensagensAntes) << transmissao.saida.toStdString();
            continue;
        }
        ASSERT_EQ(servidor.mensagens().size(), mensagensAntes + 1) << transmissao.saida.toStdString();
        // The message of an authorisation: its subject and body, the proc as archived, then the
        // PDF of the authorised document (with its protocol, no longer pending).
        const QJsonObject m = teste::leMensagem(servidor.mensagens().last());
        EXPECT_EQ(teste::textos(m[u"para"_s].toArray()), QStringList{u"consumidor@exemplo.com.br"_s});
        EXPECT_EQ(m[u"assunto"_s].toString(), u"XML do Documento Fiscal Eletrônico "_s + chave.mid(25, 9));
        EXPECT_TRUE(m[u"corpo"_s].toString().contains(u"Emitente: EMPRESA DEMONSTRAÇÃO LTDA"_s))
            << m[u"corpo"_s].toString().toStdString();
        const QJsonArray anexos = m[u"anexos"_s].toArray();
        ASSERT_EQ(anexos.size(), 2);
        EXPECT_EQ(anexos[0].toObject()[u"nome"_s].toString(), chave + u'-' + sufixo + u".xml"_s);
        ASSERT_TRUE(autorizado.contains("<cStat>100</cStat>"));
        EXPECT_EQ(QByteArray::fromBase64(anexos[0].toObject()[u"base64"_s].toString().toLatin1()),
                  autorizado);
        EXPECT_EQ(anexos[1].toObject()[u"nome"_s].toString(),
                  u"Danfe"_s + QString::number(numero) + u"-1.PDF"_s);
        const QString pdf = raiz() + u"/anexo.pdf"_s;
        teste::escreve(pdf, QByteArray::fromBase64(anexos[1].toObject()[u"base64"_s].toString().toLatin1()));
        const QString texto = impresso::texto(pdf);
        const QString protocolo =
            QRegularExpression(u"<nProt>(\\d+)</nProt>"_s).match(QString::fromUtf8(autorizado)).captured(1);
        EXPECT_FALSE(protocolo.isEmpty());
        EXPECT_TRUE(texto.contains(protocolo)) << texto.toStdString();
        EXPECT_FALSE(texto.contains(u"Pendente de autorização"_s)) << texto.toStdString();
    }
}

// The answer to the transmission is lost: the entry is then an ordinary unknown outcome, settled by
// consultation at the start of the next task of the company, which also removes the signed copy.
TEST_F(Contingencia, TransmissaoSemRespostaResolvidaPelaConsulta) {
    configura("Contingencia OFFLINE\r\nJustificativa Contingencia Sem acesso a internet na loja\r\n");
    const Documento d = documento(u"nfe"_s, 52, 1, u"65"_s);
    const Execucao emissao = entrega(u"NFCe52.xml"_s, d);
    ASSERT_EQ(emissao.codigo, 0) << emissao.saida.toStdString();
    const QString chave = novaChave(emissao.saida);
    ASSERT_EQ(chave.size(), 44);

    configura({});
    simulador.cenario("fechar-processado");
    noLocal(u"Qel_DFe.Qel"_s, "TAREFA TRANSMITIR PENDENTES\r\nCNPJ 12345678000195\r\n");
    const Execucao perdida = roda();
    EXPECT_EQ(perdida.codigo, 1) << perdida.saida.toStdString();
    EXPECT_EQ(pendentes(), QStringList{chave + u".pendente"_s});
    EXPECT_TRUE(QFile::exists(contingencia(chave)));
    EXPECT_FALSE(QFile::exists(proc(chave, u"nfc"_s)));

    simulador.cenario("normal");
    noLocal(u"Qel_DFe.Qel"_s, "TAREFA TRANSMITIR PENDENTES\r\nCNPJ 12345678000195\r\n");
    const Execucao depois = roda();
    EXPECT_EQ(depois.codigo, 0) << depois.saida.toStdString();
    EXPECT_EQ(simulador.recebidos(u"nfe_autorizacao"_s).size(), 1) << "never sent twice";
    EXPECT_TRUE(teste::le(proc(chave, u"nfc"_s)).contains("<cStat>100</cStat>"));
    EXPECT_FALSE(QFile::exists(contingencia(chave)));
    EXPECT_TRUE(pendentes().isEmpty());
}

// The answer to the transmission of a document to be mailed is lost: a task that draws no
// printout leaves the entry alone (the message takes the PDF); the next TRANSMITIR PENDENTES
// settles it by consultation and mails it, once.
TEST_F(Contingencia, EmailDeDocumentoResolvidoPelaConsulta) {
    teste::ServidorSmtpTeste servidor(u"starttls"_s, gerado(u"servidor"_s));
    ASSERT_NE(servidor.porta(), 0) << servidor.erroPartida().toStdString();
    configura("Contingencia OFFLINE\r\nJustificativa Contingencia Sem acesso a internet na loja\r\n");
    noLocal(u"NFCe53.EML"_s, "Remetente fiscal@empresa.com.br\r\nDestinatario consumidor@exemplo.com.br\r\n"
                             "SMTP 127.0.0.1\r\nPorta " +
                                 QByteArray::number(servidor.porta()) +
                                 "\r\nUsuario usuario\r\nSenha s3nh@-Certa\r\nSSL\r\n");
    const Execucao emissao = entrega(u"NFCe53.xml"_s, documento(u"nfe"_s, 53, 1, u"65"_s));
    ASSERT_EQ(emissao.codigo, 0) << emissao.saida.toStdString();
    const QString chave = novaChave(emissao.saida);
    ASSERT_EQ(chave.size(), 44);
    const QString pedido =
        trabalho(u"Arquivos_XML/CNPJ-12345678000195/Contingencia/"_s + chave + u"-nfc.EML"_s);

    configura({});
    simulador.cenario("fechar-processado");
    noLocal(u"Qel_DFe.Qel"_s, "TAREFA TRANSMITIR PENDENTES\r\nCNPJ 12345678000195\r\n");
    EXPECT_EQ(roda().codigo, 1);
    simulador.cenario("normal");

    noLocal(u"Qel_DFe.Qel"_s, "TAREFA CONSULTAR SERVICO (NFE)\r\nCNPJ 12345678000195\r\nUF RS\r\n");
    const Execucao consulta = roda();
    EXPECT_EQ(consulta.codigo, 0) << consulta.saida.toStdString() << consulta.erros.toStdString();
    EXPECT_EQ(pendentes(), QStringList{chave + u".pendente"_s});
    EXPECT_TRUE(QFile::exists(pedido));
    EXPECT_TRUE(servidor.mensagens().isEmpty());

    noLocal(u"Qel_DFe.Qel"_s, "TAREFA TRANSMITIR PENDENTES\r\nCNPJ 12345678000195\r\n");
    const Execucao depois = roda();
    EXPECT_EQ(depois.codigo, 0) << depois.saida.toStdString() << depois.erros.toStdString();
    EXPECT_EQ(simulador.recebidos(u"nfe_autorizacao"_s).size(), 1) << "never sent twice";
    EXPECT_TRUE(teste::le(proc(chave, u"nfc"_s)).contains("<cStat>100</cStat>"));
    ASSERT_EQ(servidor.mensagens().size(), 1) << depois.saida.toStdString();
    const QJsonArray anexos = teste::leMensagem(servidor.mensagens().first())[u"anexos"_s].toArray();
    ASSERT_EQ(anexos.size(), 2);
    EXPECT_EQ(anexos[0].toObject()[u"nome"_s].toString(), chave + u"-nfc.xml"_s);
    EXPECT_FALSE(QFile::exists(pedido));
    EXPECT_FALSE(QFile::exists(contingencia(chave)));
    EXPECT_TRUE(pendentes().isEmpty());
}

} // namespace
