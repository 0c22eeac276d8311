// Events and inutilização end to end: the real program against the local authority simulator on
// loopback, from the task file to the archive, with the requests and the stored procs checked
// against the official schemas and their signatures by xmlsec1.

#include "autoridade.h"
#include "servidor_smtp.h"

#include <QJsonArray>

using namespace Qt::StringLiterals;

namespace {

using namespace teste;

class Eventos : public ComAutoridade {
protected:
    Execucao tarefa(const QByteArray& linhas) {
        noLocal(u"Qel_DFe.Qel"_s, linhas);
        return roda();
    }
    // A document of the test company authorised by the simulator and archived.
    Documento autorizado(const QString& tipo, int numero) {
        const Documento d = documento(tipo, numero);
        const Execucao r = entrega(tipo + QString::number(numero) + u".xml"_s, d);
        EXPECT_EQ(r.codigo, 0) << r.saida.toStdString();
        return d;
    }
    QString pasta(const QString& relativo = {}) const {
        return trabalho(u"Arquivos_XML/CNPJ-12345678000195/"_s + relativo);
    }
    QByteArray ultimoRecebido(const QString& servico) const {
        const QList<QByteArray> r = simulador.recebidos(servico);
        return r.isEmpty() ? QByteArray() : r.last();
    }
};

// The protocol of the authorisation in an archived proc.
QByteArray protocolo(const QByteArray& proc) {
    const qsizetype a = proc.indexOf("<nProt>") + 7;
    return proc.mid(a, proc.indexOf("</nProt>", a) - a);
}

TEST_F(Eventos, CancelamentoDeNFeArquivadoComAsDuasAssinaturas) {
    PULA_SEM_REFERENCIA();
    const Documento d = autorizado(u"nfe"_s, 21);
    const Execucao r =
        tarefa("TAREFA Cancelar Documento\r\nCNPJ 12345678000195\r\nUF RS\r\nCHAVE " + d.chave.toUtf8() +
               "\r\nJUSTIFICATIVA Pedido cancelado & <refeito> pelo cliente\r\n");
    EXPECT_EQ(r.codigo, 0) << r.saida.toStdString();

    // The request: the official layout, the run's environment, the protocol from the archive.
    const QByteArray pedido = ultimoRecebido(u"nfe_evento"_s);
    EXPECT_EQ(validaEsquema(pedido, esquemas() + u"nfe/evento_cancelamento/envEventoCancNFe_v1.00.xsd"_s),
              QString());
    EXPECT_TRUE(pedido.contains("Id=\"ID110111" + d.chave.toUtf8() + "01\"")) << pedido.toStdString();
    EXPECT_TRUE(pedido.contains("<cOrgao>43</cOrgao><tpAmb>2</tpAmb>"));
    EXPECT_TRUE(pedido.contains("<nProt>" + protocolo(teste::le(arquivo(d, u"nfe"_s))) + "</nProt>"));
    EXPECT_TRUE(pedido.contains("<xJust>Pedido cancelado &amp; &lt;refeito&gt; pelo cliente</xJust>"));

    const QByteArray proc = teste::le(arquivo(d, u"can"_s));
    ASSERT_FALSE(proc.isEmpty()) << r.saida.toStdString();
    EXPECT_TRUE(proc.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?><procEventoNFe "
                                "xmlns=\"http://www.portalfiscal.inf.br/nfe\" versao=\"1.00\"><evento"));
    EXPECT_EQ(validaEsquema(proc, esquemas() + u"nfe/evento_cancelamento/procEventoCancNFe_v1.00.xsd"_s),
              QString());
    EXPECT_EQ(verificaAssinatura(proc, u"infEvento"_s, gerado(u"ca.crt"_s), u"evento"_s), QString());
    EXPECT_EQ(verificaAssinatura(proc, u"infEvento"_s, simulador.certificadoProtocolo(), u"retEvento"_s),
              QString());
    EXPECT_TRUE(r.saida.contains(u"Imprimindo"_s));

    // Sent again (an answer that never came back): the duplicate is settled with what is archived,
    // and, with nothing archived, by consulting the document; never stored without protocol.
    const Execucao outra = tarefa("TAREFA Cancelar Documento\r\nCNPJ 12345678000195\r\nUF RS\r\nCHAVE " +
                                  d.chave.toUtf8() + "\r\nJUSTIFICATIVA Pedido cancelado pelo cliente\r\n");
    EXPECT_EQ(outra.codigo, 0) << outra.saida.toStdString();
    EXPECT_EQ(teste::le(arquivo(d, u"can"_s)), proc);
    QFile::remove(arquivo(d, u"can"_s));
    const int consultas = pedidos(u"nfe_consulta"_s);
    const Execucao terceira =
        tarefa("TAREFA Cancelar Documento\r\nCNPJ 12345678000195\r\nUF RS\r\nCHAVE " + d.chave.toUtf8() +
               "\r\nJUSTIFICATIVA Pedido cancelado pelo cliente\r\n");
    EXPECT_EQ(terceira.codigo, 0) << terceira.saida.toStdString();
    EXPECT_EQ(pedidos(u"nfe_consulta"_s), consultas + 1);
    const QByteArray consultado = teste::le(arquivo(d, u"can"_s));
    EXPECT_TRUE(consultado.contains("<nProt>")) << consultado.left(300).toStdString();
    EXPECT_EQ(
        validaEsquema(consultado, esquemas() + u"nfe/evento_cancelamento/procEventoCancNFe_v1.00.xsd"_s),
        QString());
    EXPECT_EQ(
        verificaAssinatura(consultado, u"infEvento"_s, simulador.certificadoProtocolo(), u"retEvento"_s),
        QString());
}

// The text of a PDF, by pdftotext.
QString textoPdf(const QByteArray& pdf) {
    static QTemporaryDir pasta;
    const QString arquivo = pasta.path() + u"/recibo.pdf"_s;
    teste::escreve(arquivo, pdf);
    QProcess pdftotext;
    pdftotext.start(u"pdftotext"_s, {u"-layout"_s, arquivo, u"-"_s});
    pdftotext.waitForFinished(30000);
    return QString::fromUtf8(pdftotext.readAllStandardOutput());
}

TEST_F(Eventos, ComprovanteDoCancelamentoPorEmail) {
    PULA_SEM_REFERENCIA();
    ServidorSmtpTeste servidor(u"starttls"_s, gerado(u"servidor"_s));
    ASSERT_NE(servidor.porta(), 0) << servidor.erroPartida().toStdString();
    const Documento d = autorizado(u"nfe"_s, 29);
    noLocal(u"Qel_DFe.EML"_s, "Remetente fiscal@empresa.com.br\r\nDestinatario a@exemplo.com.br\r\n"
                              "SMTP 127.0.0.1\r\nPorta " +
                                  QByteArray::number(servidor.porta()) +
                                  "\r\nUsuario usuario\r\nSenha s3nh@-Certa\r\nSSL\r\n");
    const Execucao r = tarefa("TAREFA Cancelar Documento\r\nCNPJ 12345678000195\r\nUF RS\r\nCHAVE " +
                              d.chave.toUtf8() + "\r\nJUSTIFICATIVA Pedido cancelado pelo cliente\r\n");
    EXPECT_EQ(r.codigo, 0) << r.saida.toStdString();
    ASSERT_EQ(servidor.mensagens().size(), 1) << r.saida.toStdString();
    const QJsonArray anexos = leMensagem(servidor.mensagens().first())[u"anexos"_s].toArray();
    ASSERT_EQ(anexos.size(), 2);
    EXPECT_EQ(anexos[0].toObject()[u"nome"_s].toString(), d.chave + u"-can.xml"_s);
    EXPECT_EQ(anexos[1].toObject()[u"nome"_s].toString(), u"Evento_DFe.PDF"_s);
    QString recibo =
        textoPdf(QByteArray::fromBase64(anexos[1].toObject()[u"base64"_s].toString().toLatin1()));
    const QByteArray proc = teste::le(arquivo(d, u"can"_s));
    const qsizetype p = proc.lastIndexOf("<nProt>") + 7;
    EXPECT_TRUE(recibo.contains(QString::fromLatin1(proc.mid(p, 15)))) << "the registration's protocol";
    EXPECT_TRUE(recibo.contains(u"Pedido cancelado pelo cliente"_s)) << recibo.toStdString();
    EXPECT_TRUE(recibo.remove(u' ').contains(d.chave)) << recibo.toStdString();
    // The receipt's PDF and the request are gone once mailed.
    EXPECT_FALSE(QFile::exists(raiz() + u"/Qel/Evento_DFe.PDF"_s));
    EXPECT_FALSE(QFile::exists(local(u"Qel_DFe.EML"_s)));
}

TEST_F(Eventos, CTeCanceladoECorrigido) {
    PULA_SEM_REFERENCIA();
    const Documento d = autorizado(u"cte"_s, 22);
    const Execucao carta =
        tarefa("TAREFA Carta de Correcao\r\nCNPJ 12345678000195\r\nUF RS\r\nCHAVE " + d.chave.toUtf8() +
               "\r\nCCE TEXTO ide                 natOp               PRESTACAO DE SERVICO\r\n"
               "CCE TEXTO compl               xObs                Entrega no deposito 2\r\n");
    EXPECT_EQ(carta.codigo, 0) << carta.saida.toStdString();
    const QByteArray pedidoCarta = ultimoRecebido(u"cte_evento"_s);
    EXPECT_TRUE(pedidoCarta.contains("<infCorrecao><grupoAlterado>ide</grupoAlterado><campoAlterado>natOp"
                                     "</campoAlterado><valorAlterado>PRESTACAO DE SERVICO</valorAlterado>"))
        << pedidoCarta.toStdString();
    EXPECT_EQ(validaEsquema(pedidoCarta, esquemas() + u"cte/eventoCTe_v4.00.xsd"_s), QString());
    const QByteArray cce = teste::le(pasta(u"26-12/CCe/"_s + d.chave + u"-cce-01.xml"_s));
    ASSERT_FALSE(cce.isEmpty()) << carta.saida.toStdString();
    EXPECT_TRUE(cce.contains("Id=\"ID110110" + d.chave.toUtf8() + "001\""));
    EXPECT_EQ(validaEsquema(cce, esquemas() + u"cte/procEventoCTe_v4.00.xsd"_s), QString());

    const Execucao r = tarefa("TAREFA Cancelar Documento\r\nCNPJ 12345678000195\r\nUF RS\r\nCHAVE " +
                              d.chave.toUtf8() + "\r\nJUSTIFICATIVA Servico nao foi prestado\r\n");
    EXPECT_EQ(r.codigo, 0) << r.saida.toStdString();
    const QByteArray proc = teste::le(arquivo(d, u"can"_s));
    EXPECT_TRUE(proc.contains("<eventoCTe xmlns=\"http://www.portalfiscal.inf.br/cte\" versao=\"4.00\">"
                              "<infEvento Id=\"ID110111" +
                              d.chave.toUtf8() + "001\">"));
    EXPECT_TRUE(proc.contains("<detEvento versaoEvento=\"4.00\"><evCancCTe>"));
    EXPECT_EQ(validaEsquema(proc, esquemas() + u"cte/procEventoCTe_v4.00.xsd"_s), QString());
    EXPECT_EQ(verificaAssinatura(proc, u"infEvento"_s, gerado(u"ca.crt"_s), u"eventoCTe"_s), QString());
    EXPECT_EQ(verificaAssinatura(proc, u"infEvento"_s, simulador.certificadoProtocolo(), u"retEventoCTe"_s),
              QString());
}

TEST_F(Eventos, EncerramentoDoMDFeComODescarregamentoArquivado) {
    PULA_SEM_REFERENCIA();
    const Documento d = autorizado(u"mdfe"_s, 23);
    const Execucao r =
        tarefa("TAREFA Encerramento\r\nCNPJ 12345678000195\r\nUF RS\r\nCHAVE " + d.chave.toUtf8() + "\r\n");
    EXPECT_EQ(r.codigo, 0) << r.saida.toStdString();
    const QByteArray proc = teste::le(arquivo(d, u"enc"_s));
    ASSERT_FALSE(proc.isEmpty()) << r.saida.toStdString();
    EXPECT_TRUE(proc.contains("<evEncMDFe><descEvento>Encerramento</descEvento><nProt>" +
                              protocolo(teste::le(arquivo(d, u"mdf"_s))) + "</nProt><dtEnc>"));
    EXPECT_TRUE(proc.contains("<cUF>43</cUF><cMun>4314902</cMun></evEncMDFe>"));
    EXPECT_TRUE(proc.contains("Id=\"ID110112" + d.chave.toUtf8() + "01\""));
    EXPECT_EQ(validaEsquema(proc, esquemas() + u"mdfe/procEventoMDFe_v3.00.xsd"_s), QString());
    EXPECT_EQ(verificaAssinatura(proc, u"infEvento"_s, simulador.certificadoProtocolo(), u"retEventoMDFe"_s),
              QString());
    EXPECT_FALSE(r.saida.contains(u"Imprimindo"_s)) << "closing has no receipt";
}

TEST_F(Eventos, CartaDeCorrecaoDaNFeEConsultaDasCartas) {
    PULA_SEM_REFERENCIA();
    const Documento d = autorizado(u"nfe"_s, 24);
    const Execucao r =
        tarefa("TAREFA Carta de Correcao\r\nCNPJ 12345678000195\r\nUF RS\r\nCHAVE " + d.chave.toUtf8() +
               "\r\nSEQUENCIA EVENTO 3\r\nCCE TEXTO Onde se le transportadora A\r\n"
               "CCE TEXTO leia-se transportadora B\r\nCCE CONDICAO texto qualquer\r\n");
    EXPECT_EQ(r.codigo, 0) << r.saida.toStdString();
    const QByteArray pedido = ultimoRecebido(u"nfe_evento"_s);
    EXPECT_EQ(validaEsquema(pedido, esquemas() + u"nfe/evento_cce/envCCe_v1.00.xsd"_s), QString());
    EXPECT_TRUE(pedido.contains("<nSeqEvento>3</nSeqEvento>"));
    EXPECT_TRUE(
        pedido.contains("<xCorrecao>Onde se le transportadora A; leia-se transportadora B</xCorrecao>"));
    const QString caminho = pasta(u"26-12/CCe/"_s + d.chave + u"-cce-03.xml"_s);
    ASSERT_TRUE(QFile::exists(caminho)) << r.saida.toStdString();
    EXPECT_EQ(validaEsquema(teste::le(caminho), esquemas() + u"nfe/evento_cce/procCCeNFe_v1.00.xsd"_s),
              QString());

    // The letters the authority holds, fetched again: its bytes, both signatures intact; the
    // document's other events are not letters.
    ASSERT_EQ(tarefa("TAREFA Cancelar Documento\r\nCNPJ 12345678000195\r\nUF RS\r\nCHAVE " +
                     d.chave.toUtf8() + "\r\nJUSTIFICATIVA Pedido cancelado pelo cliente\r\n")
                  .codigo,
              0);
    QFile::remove(caminho);
    const Execucao consulta =
        tarefa("TAREFA Consultar CCe\r\nCNPJ 12345678000195\r\nCHAVE " + d.chave.toUtf8() + "\r\n");
    EXPECT_EQ(consulta.codigo, 0) << consulta.saida.toStdString() << consulta.erros.toStdString();
    const QByteArray carta = teste::le(caminho);
    ASSERT_FALSE(carta.isEmpty()) << consulta.saida.toStdString();
    EXPECT_TRUE(carta.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?><procEventoNFe"));
    EXPECT_EQ(validaEsquema(carta, esquemas() + u"nfe/evento_cce/procCCeNFe_v1.00.xsd"_s), QString());
    EXPECT_EQ(verificaAssinatura(carta, u"infEvento"_s, gerado(u"ca.crt"_s), u"evento"_s), QString());
    EXPECT_EQ(verificaAssinatura(carta, u"infEvento"_s, simulador.certificadoProtocolo(), u"retEvento"_s),
              QString());
    EXPECT_EQ(QDir(pasta(u"26-12/CCe"_s)).entryList(QDir::Files).size(), 1) << "only correction letters";
}

TEST_F(Eventos, ManifestacaoDoDestinatarioNoAmbienteNacional) {
    PULA_SEM_REFERENCIA();
    const QString chave = u"35261298765432000110550010000001231000001234"_s;
    const Execucao r = tarefa("TAREFA Manifestar\r\nCNPJ 12345678000195\r\nUF RS\r\nCHAVE " + chave.toUtf8() +
                              "\r\nTIPO EVENTO 210210\r\nANO-MES 26-12\r\n");
    EXPECT_EQ(r.codigo, 0) << r.saida.toStdString();
    const QByteArray pedido = ultimoRecebido(u"nfe_evento"_s);
    EXPECT_EQ(validaEsquema(pedido, esquemas() + u"nfe/evento_manifestacao/envConfRecebto_v1.00.xsd"_s),
              QString());
    EXPECT_TRUE(pedido.contains("<cOrgao>91</cOrgao>"));
    EXPECT_TRUE(pedido.contains("<descEvento>Ciencia da Operacao</descEvento>"));
    EXPECT_TRUE(QFile::exists(pasta(u"26-12/Recebidas/"_s + chave + u"-cie.xml"_s))) << r.saida.toStdString();
    EXPECT_FALSE(r.saida.contains(u"Imprimindo"_s));
}

TEST_F(Eventos, RecusadosAntesDeEnviar) {
    const QByteArray chave = "43261212345678000195550010000000251000000250";
    const struct {
        const char* caso;
        QByteArray tarefa;
        const char16_t* mensagem;
    } casos[] = {
        {"short justification",
         "TAREFA Cancelar Documento\r\nPROTOCOLO 143260000000001\r\nJUSTIFICATIVA Curta\r\nCHAVE " + chave,
         u"de 15 a 255 caracteres"},
        {"correction letter without a line", "TAREFA Carta de Correcao\r\nCHAVE " + chave, u"não tem texto"},
        {"inutilização without a justification",
         "TAREFA Inutilizar\r\nCNPJ 12345678000195\r\nUF RS\r\nMODELO 55\r\nSERIE 1\r\nANO 26\r\n"
         "NROINICIAL 5\r\nNROFINAL 6",
         u"Inutilização sem justificativa"},
        {"consultation without a key", "TAREFA Consultar Documento\r\nCNPJ 12345678000195",
         u"Chave de acesso"},
        {"download of a CT-e", "TAREFA Download CTe\r\nCHAVE 43261212345678000195570010000000251000000250",
         u"só para NF-e"},
        {"inutilização of an MDF-e",
         "TAREFA Inutilizar\r\nCNPJ 12345678000195\r\nUF RS\r\nMODELO 58\r\nSERIE 1\r\nANO 26\r\n"
         "NROINICIAL 5\r\nNROFINAL 6\r\nJUSTIFICATIVA Numeracao pulada por falha do sistema",
         u"só para NF-e, NFC-e e CT-e"},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.caso);
        const Execucao r = tarefa(c.tarefa + "\r\n");
        EXPECT_EQ(r.codigo, 1) << r.saida.toStdString();
        EXPECT_TRUE(r.saida.contains(QString::fromUtf16(c.mensagem))) << r.saida.toStdString();
    }
    EXPECT_TRUE(simulador.registro().isEmpty()) << "nothing was sent";
}

TEST_F(Eventos, RejeicaoERespostaDesconhecida) {
    const Documento d = autorizado(u"nfe"_s, 26);
    const QByteArray cancelar = "TAREFA Cancelar Documento\r\nCNPJ 12345678000195\r\nUF RS\r\nCHAVE " +
                                d.chave.toUtf8() + "\r\nJUSTIFICATIVA Pedido cancelado pelo cliente\r\n";
    simulador.cenario("evento-sem-autorizacao");
    noLocal(u"Qel_DFe.EML"_s, "Destinatario cliente@exemplo.com.br\r\n");
    const Execucao rejeitado = tarefa(cancelar);
    EXPECT_EQ(rejeitado.codigo, 1);
    EXPECT_TRUE(rejeitado.saida.contains(u"Codigo: 580"_s)) << rejeitado.saida.toStdString();
    EXPECT_FALSE(QFile::exists(arquivo(d, u"can"_s)));
    EXPECT_FALSE(QFile::exists(local(u"Qel_DFe.EML"_s)));

    // No answer: said as unknown, nothing stored, the e-mail request kept for the next try.
    simulador.cenario("erro500");
    noLocal(u"Qel_DFe.EML"_s, "Destinatario cliente@exemplo.com.br\r\n");
    const Execucao semResposta = tarefa(cancelar);
    EXPECT_EQ(semResposta.codigo, 1);
    EXPECT_TRUE(semResposta.saida.contains(u"não é conhecido"_s)) << semResposta.saida.toStdString();
    EXPECT_FALSE(QFile::exists(arquivo(d, u"can"_s)));
    EXPECT_TRUE(QFile::exists(local(u"Qel_DFe.EML"_s)));
}

TEST_F(Eventos, CancelamentoDeNumeroNuncaAutorizadoViraInutilizacao) {
    PULA_SEM_REFERENCIA();
    const QByteArray chave = "43261212345678000195550010000000271000000275";
    const Execucao r = tarefa("TAREFA Cancelar Documento\r\nCNPJ 12345678000195\r\nUF RS\r\nCHAVE " + chave +
                              "\r\nJUSTIFICATIVA preenchimento incorreto\r\n");
    EXPECT_EQ(r.codigo, 0) << r.saida.toStdString();
    EXPECT_TRUE(r.saida.contains(u"Tarefa: Inutilizar"_s));
    const QByteArray pedido = ultimoRecebido(u"nfe_inutilizacao"_s);
    EXPECT_EQ(validaEsquema(pedido, esquemas() + u"nfe/inutNFe_v4.00.xsd"_s), QString());
    EXPECT_TRUE(pedido.contains("Id=\"ID"
                                "43"
                                "26"
                                "12345678000195"
                                "55"
                                "001"
                                "000000027"
                                "000000027"
                                "\""))
        << pedido.toStdString();
    EXPECT_TRUE(pedido.contains("<xJust>Inutilizado por erro detectado antes da transmissao</xJust>"));
    const QByteArray proc = teste::le(pasta(u"26-12/"_s + QString::fromUtf8(chave) + u"-Inu.xml"_s));
    EXPECT_TRUE(proc.contains("<ProcInutNFe xmlns=\"http://www.portalfiscal.inf.br/nfe\" versao=\"4.00\">"));
    EXPECT_EQ(validaEsquema(proc, esquemas() + u"nfe/procInutNFe_v4.00.xsd"_s), QString());
    EXPECT_EQ(verificaAssinatura(proc, u"infInut"_s, gerado(u"ca.crt"_s), u"inutNFe"_s), QString());
}

TEST_F(Eventos, InutilizacaoDeCTeEFaixaJaInutilizada) {
    PULA_SEM_REFERENCIA();
    const QByteArray tarefaCTe =
        "TAREFA Inutilizar\r\nCNPJ 12345678000195\r\nUF RS\r\nMODELO 57\r\nSERIE 1\r\n"
        "ANO 26\r\nNROINICIAL 40\r\nNROFINAL 42\r\nJUSTIFICATIVA Numeracao pulada por falha "
        "do sistema\r\n";
    const Execucao r = tarefa(tarefaCTe);
    EXPECT_EQ(r.codigo, 0) << r.saida.toStdString();
    const QByteArray pedido = ultimoRecebido(u"cte_inutilizacao"_s);
    EXPECT_EQ(validaEsquema(pedido, esquemas() + u"cte/inutCTe_v4.00.xsd"_s), QString());
    QDirIterator it(pasta(), {u"*-Inu.xml"_s}, QDir::Files, QDirIterator::Subdirectories);
    ASSERT_TRUE(it.hasNext()) << r.saida.toStdString();
    const QString caminho = it.next();
    EXPECT_TRUE(caminho.endsWith(u"/431234567800019557001000000040000000042-Inu.xml"_s))
        << caminho.toStdString();
    const QByteArray proc = teste::le(caminho);
    EXPECT_EQ(validaEsquema(proc, esquemas() + u"cte/procInutCTe_v4.00.xsd"_s), QString());

    simulador.cenario("inutilizacao-repetida");
    QFile::remove(caminho);
    const Execucao repetida = tarefa(tarefaCTe);
    EXPECT_EQ(repetida.codigo, 0) << repetida.saida.toStdString();
    EXPECT_TRUE(repetida.saida.contains(u"Codigo: 563"_s));
    EXPECT_FALSE(QFile::exists(caminho)) << "no proc without the homologation";
}

TEST_F(Eventos, ConsultasDownloadCadastroENaoEncerrados) {
    PULA_SEM_REFERENCIA();
    const Documento d = autorizado(u"nfe"_s, 28);
    const QByteArray chave = "\r\nCNPJ 12345678000195\r\nUF RS\r\nCHAVE " + d.chave.toUtf8() + "\r\n";

    const Execucao situacao = tarefa("TAREFA Consultar Documento" + chave);
    EXPECT_EQ(situacao.codigo, 0);
    EXPECT_TRUE(situacao.saida.contains(u"Codigo: 100"_s)) << situacao.saida.toStdString();

    EXPECT_EQ(tarefa("TAREFA Consultar Arquivo" + chave).codigo, 0);
    EXPECT_TRUE(teste::le(local(d.chave + u".Qel"_s)).contains("<retConsSitNFe"));

    const Execucao baixado = tarefa("TAREFA Download NFe" + chave);
    EXPECT_EQ(baixado.codigo, 0) << baixado.saida.toStdString();
    const QByteArray documento = teste::le(raiz() + u"/Teste/Arquivo.xml"_s);
    EXPECT_TRUE(documento.contains("<nfeProc")) << documento.left(200).toStdString();
    EXPECT_EQ(validaEsquema(documento, esquemas() + u"nfe/procNFe_v4.00.xsd"_s), QString());
    EXPECT_EQ(verificaAssinatura(documento, u"infNFe"_s, gerado(u"ca.crt"_s)), QString());

    simulador.cenario("distribuicao-vazia");
    QFile::remove(raiz() + u"/Teste/Arquivo.xml"_s);
    const Execucao vazio = tarefa("TAREFA Download NFe" + chave);
    EXPECT_EQ(vazio.codigo, 1);
    EXPECT_TRUE(vazio.saida.contains(u"Codigo: 137"_s)) << vazio.saida.toStdString();
    EXPECT_FALSE(QFile::exists(raiz() + u"/Teste/Arquivo.xml"_s));

    simulador.cenario("cadastro-varios");
    const Execucao cadastrado = tarefa(
        "TAREFA Cadastro\r\nCNPJ 12345678000195\r\nCONSULTA UF RS\r\nCONSULTA DC 98.765.432/0001-10\r\n");
    EXPECT_EQ(cadastrado.codigo, 0) << cadastrado.saida.toStdString();
    const QByteArray cadastro = teste::le(local(u"Retorno_DFe.Qel"_s));
    EXPECT_EQ(cadastro.count("<infCad>"), 3) << cadastro.toStdString();
    EXPECT_EQ(validaEsquema(ultimoRecebido(u"nfe_cadastro"_s), esquemas() + u"dfe/consCad_v2.00.xsd"_s),
              QString());

    simulador.cenario("normal");
    EXPECT_EQ(tarefa("TAREFA Nao Encerrados\r\nCNPJ 12345678000195\r\nUF RS\r\n").codigo, 0);
    EXPECT_TRUE(teste::le(local(u"Retorno_DFe.Qel"_s)).contains("<retConsMDFeNaoEnc"));
    EXPECT_EQ(validaEsquema(ultimoRecebido(u"mdfe_nao_encerrados"_s),
                            esquemas() + u"mdfe/consMDFeNaoEnc_v3.00.xsd"_s),
              QString());
}

} // namespace
