// The NFS-e end to end: the real program against the local simulator of the municipal providers,
// one municipality of each group, from the dropped RPS to the stored nfseProc, its key, the answer
// file and the printed form; refusals, lost answers, cancellations, the file exchange of Estrela,
// the calls Florianópolis only prepares, and Imigrante, which has no service.

#include "../nfse/nfse_teste.h"
#include "autoridade.h"
#include "pdf_impresso.h"

#include <QDirIterator>

using namespace Qt::StringLiterals;

namespace {

using namespace teste;

const QByteArray kCnpj = "12345678000195";

// A message as the provider received it: an escaped one comes with the declaration it travels after.
QByteArray semDeclaracao(QByteArray mensagem) {
    if (mensagem.startsWith("<?xml")) mensagem.remove(0, mensagem.indexOf("?>") + 2);
    return mensagem;
}

class Nfse : public ComAutoridade {
protected:
    // Drops a document of tests/data/nfse under the name given and runs the program.
    Execucao entregaNfse(const QString& nome, const QString& fixture, const QString& municipio = {},
                         const QString& natureza = u"1"_s) {
        noLocal(nome, documentoNfse(fixture, municipio, natureza).toUtf8());
        return roda();
    }
    Execucao tarefa(const QByteArray& linhas) {
        noLocal(u"Qel_DFe.Qel"_s, linhas);
        return roda();
    }
    // The stored NFS-e of an RPS number (the key ends in it twice, then "X").
    QString armazenada(int rps) const {
        const QString fim = QString::number(rps).rightJustified(9, u'0').repeated(2) + u"X-nfs.xml"_s;
        QDirIterator it(trabalho(u"Arquivos_XML"_s), {u"*-nfs.xml"_s}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString f = it.next();
            if (f.endsWith(fim)) return f;
        }
        return {};
    }
    QStringList retorno() const {
        return QString::fromUtf8(le(local(u"Retorno_DFe.Qel"_s))).split(u"\r\n"_s, Qt::SkipEmptyParts);
    }
    QString chaveDe(const QString& arquivo) const { return QFileInfo(arquivo).fileName().left(44); }
};

// One municipality of each group with a web service: the lot signed and sent, the NFS-e it became
// stored under its key, the answer file for the caller.
TEST_F(Nfse, RecepcaoDeCadaGrupo) {
    PULA_SEM_REFERENCIA();
    const QString xsd = esquemas() + u"nfse/"_s;
    struct Caso {
        const char* caso;
        QString fixture, municipio, natureza;
        int rps;
        QString cUF, servico, esquema;
        QString atributo, elemento, pai; // the lot's signature
        bool numeroElemento;             // NumeroNota holds the Numero element (the Tecnos answer)
    };
    const Caso casos[] = {
        {"Thema of Santa Cruz do Sul (HTTPS)", u"rps_abrasf1.xml"_s, u"4316808"_s, u"51"_s, 77, u"43"_s,
         u"nfse_thema_recepcao"_s, u"thema/nfse.xsd"_s, u"id"_s, u"LoteRps"_s, u"EnviarLoteRpsEnvio"_s,
         false},
        {"Thema of Lajeado (plain HTTP)", u"rps_abrasf1.xml"_s, u"4311403"_s, u"52"_s, 78, u"43"_s,
         u"nfse_thema_recepcao"_s, u"thema/nfse.xsd"_s, u"id"_s, u"LoteRps"_s, u"EnviarLoteRpsEnvio"_s,
         false},
        {"Tecnos of Encantado",
         u"declaracao_tecnos.xml"_s,
         u"4306809"_s,
         {},
         42,
         u"43"_s,
         u"nfse_tecnos_recepcao"_s,
         u"tecnos/EnviarLoteRpsSincronoEnvio.xsd"_s,
         u"Id"_s,
         u"InfDeclaracaoPrestacaoServico"_s,
         u"tcDeclaracaoPrestacaoServico"_s,
         true},
        {"ISSNet of Novo Hamburgo",
         u"rps_issnet.xml"_s,
         {},
         {},
         215,
         u"43"_s,
         u"nfse_issnet_recepcao"_s,
         u"issnet_v1/servico_enviar_lote_rps_envio.xsd"_s,
         u"id"_s,
         u"LoteRps"_s,
         u"EnviarLoteRpsEnvio"_s,
         false},
        {"Curitiba",
         u"rps_abrasf1.xml"_s,
         u"4106902"_s,
         u"1"_s,
         79,
         u"41"_s,
         u"nfse_curitiba_recepcao"_s,
         {},
         u"id"_s,
         u"LoteRps"_s,
         u"EnviarLoteRpsEnvio"_s,
         false},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.caso);
        QString documento = documentoNfse(c.fixture, c.municipio, c.natureza);
        // Each case its own RPS, as a caller numbers them.
        if (c.fixture == u"rps_abrasf1.xml"_s)
            documento
                .replace(u"<Numero>77</Numero>"_s, u"<Numero>"_s + QString::number(c.rps) + u"</Numero>"_s)
                .replace(u"id=\"R77\""_s, u"id=\"R"_s + QString::number(c.rps) + u'"');
        const QString nome = u"NFSe"_s + QString::number(c.rps).rightJustified(10, u'0') + u".xml"_s;
        noLocal(nome, documento.toUtf8());
        const Execucao r = roda();
        ASSERT_EQ(r.codigo, 0) << r.saida.toStdString();
        EXPECT_FALSE(QFile::exists(local(nome)));

        const QString arquivo = armazenada(c.rps);
        ASSERT_FALSE(arquivo.isEmpty()) << r.saida.toStdString();
        const QByteArray proc = le(arquivo);
        // The key: state, period of the protocol's date, company, model NS, the RPS twice.
        const QString chave = chaveDe(arquivo);
        const QString data = QString::fromUtf8(proc).section(u"<DataRecebimento>"_s, 1).left(7);
        EXPECT_EQ(chave, c.cUF + data.mid(2, 2) + data.mid(5, 2) + QString::fromLatin1(kCnpj) + u"NS000"_s +
                             QString::number(c.rps).rightJustified(9, u'0').repeated(2) + u'X');
        EXPECT_TRUE(
            arquivo.endsWith(u"/"_s + data.mid(2, 2) + u'-' + data.mid(5, 2) + u'/' + chave + u"-nfs.xml"_s));
        EXPECT_TRUE(proc.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?><nfseProc xmlns=\"" +
                                    qel::kNsAbrasf1.toUtf8() + "\" versao=\"1.00\"><"));
        EXPECT_TRUE(proc.contains("<tpAmb>2</tpAmb>"));
        EXPECT_EQ(verificaComXmlsec(QString::fromUtf8(proc), c.atributo, c.elemento, c.pai), QString());

        // The lot stored is the lot sent, byte for byte, and it is what the provider's schema asks.
        const QByteArray lote = semDeclaracao(simulador.recebidos(c.servico).last());
        EXPECT_TRUE(proc.contains(lote)) << lote.left(200).toStdString();
        if (!c.esquema.isEmpty()) {
            EXPECT_EQ(validaEsquema(lote, xsd + c.esquema), QString());
        }

        // The answer file: the consultation's answer, the company, the NFS-e number.
        const QStringList linhas = retorno();
        ASSERT_EQ(linhas.size(), 3);
        const QString numero =
            QString::fromUtf8(proc).section(u"<NumeroNota>"_s, 1).section(u"</NumeroNota>"_s, 0, 0);
        EXPECT_TRUE(linhas.at(0).contains(u"CodigoVerificacao>"_s)) << linhas.at(0).left(300).toStdString();
        EXPECT_EQ(linhas.at(1), u"CNPJ "_s + QString::fromLatin1(kCnpj));
        EXPECT_EQ(linhas.at(2), numero);
        EXPECT_EQ(numero.startsWith(u"<Numero>"_s), c.numeroElemento);
    }
}

// The printed NFS-e of a stored document: the municipality's header, the parties, the values.
TEST_F(Nfse, ImpressaoDaNfseArmazenada) {
    ASSERT_EQ(entregaNfse(u"NFSe0000000077.xml"_s, u"rps_abrasf1.xml"_s, u"4316808"_s, u"51"_s).codigo, 0);
    const QString arquivo = armazenada(77);
    ASSERT_FALSE(arquivo.isEmpty());
    const QString pdf = raiz() + u"/nfse.pdf"_s;
    const Execucao r = tarefa("TAREFA GERAR PDF\r\nCNPJ 12345678000195\r\nARQUIVO " + arquivo.toUtf8() +
                              "\r\nPDF " + pdf.toUtf8() + "\r\n");
    ASSERT_EQ(r.codigo, 0) << r.saida.toStdString();
    EXPECT_EQ(impresso::paginas(pdf), 1);
    const QString texto = impresso::texto(pdf);
    const QString proc = QString::fromUtf8(le(arquivo));
    const QString numero = QString::number(proc.section(u"<NumeroNota>"_s, 1).left(15).toLongLong());
    const QString verificacao = proc.section(u"<CodigoVerificacao>"_s, 1).section(u'<', 0, 0);
    for (const QString& esperado :
         {u"Estado do Rio Grande do Sul"_s, u"Prefeitura de Santa Cruz do Sul"_s, numero, verificacao,
          u"EMITIDA EM HOMOLOGAÇÃO - SEM VALOR FISCAL"_s, u"51 - Imposto devido em Santa Cruz do Sul"_s,
          u"12.345.678/0001-95"_s, u"Tomadora Exemplo Ltda"_s, u"98.765.432/0001-10"_s,
          u"Manutenção de máquinas & equipamentos"_s, u"10/01/2027 - 10/02/2027"_s, u"R$ 1.500,00"_s,
          u"R$ 1.445,25"_s, u"3,00 %"_s, u"compras@tomadora.example;"_s,
          u"Recebemos de Tomadora Exemplo Ltda"_s})
        EXPECT_TRUE(texto.contains(esperado)) << esperado.toStdString();
    EXPECT_FALSE(texto.contains(u"financeiro@"_s));
    EXPECT_FALSE(texto.contains(u"(VCT)"_s));
}

// A lot the municipality refuses: its messages shown, however the provider writes its codes (ISSNet
// puts them under a prefix), the document and its e-mail request gone, nothing stored.
TEST_F(Nfse, LoteRecusadoMostraAsMensagensDaPrefeitura) {
    simulador.cenario("rejeitar");
    noLocal(u"NFSe0000000215.EML"_s, "Destinatario a@b.example\r\n");
    const Execucao r = entregaNfse(u"NFSe0000000215.xml"_s, u"rps_issnet.xml"_s);
    EXPECT_EQ(r.codigo, 1);
    EXPECT_TRUE(r.saida.contains(u"E515 - Erro ao validar assinatura"_s)) << r.saida.toStdString();
    EXPECT_TRUE(r.saida.contains(u"Codigo: E515"_s));
    EXPECT_FALSE(QFile::exists(local(u"NFSe0000000215.xml"_s)));
    EXPECT_FALSE(QFile::exists(local(u"NFSe0000000215.EML"_s)));
    EXPECT_TRUE(armazenada(215).isEmpty());
    EXPECT_TRUE(pendentes().isEmpty());
    EXPECT_EQ(pedidos(u"nfse_issnet_consulta"_s), 0);
}

// A lot received under a protocol and refused while the provider processed it: its RPS never has
// an NFS-e, so the lot's result, asked for by the protocol, settles it as a refusal (shown, the
// caller's files gone, the journal entry closed) without sending the lot again.
TEST_F(Nfse, LoteRecusadoNoProcessamento) {
    extras.insert(u"QEL_DFE_CONSULTAS_RETORNO"_s, u"2"_s);
    simulador.cenario("nfse-lote-recusado");
    noLocal(u"NFSe0000000215.EML"_s, "Destinatario a@b.example\r\n");
    const Execucao r = entregaNfse(u"NFSe0000000215.xml"_s, u"rps_issnet.xml"_s);
    EXPECT_EQ(r.codigo, 1);
    EXPECT_TRUE(r.saida.contains(u"E116 - Item da lista de servico nao permitido"_s))
        << r.saida.toStdString();
    EXPECT_FALSE(QFile::exists(local(u"NFSe0000000215.xml"_s)));
    EXPECT_FALSE(QFile::exists(local(u"NFSe0000000215.EML"_s)));
    EXPECT_TRUE(armazenada(215).isEmpty());
    EXPECT_TRUE(pendentes().isEmpty());
    EXPECT_EQ(pedidos(u"nfse_issnet_recepcao"_s), 1);
    const QList<QByteArray> consultas = simulador.recebidos(u"nfse_issnet_consulta_lote"_s);
    ASSERT_EQ(consultas.size(), 1);
    const QByteArray pedido = semDeclaracao(consultas.first());
    if (!pastaReferencia().isEmpty()) {
        EXPECT_EQ(
            validaEsquema(pedido, esquemas() + u"nfse/issnet_v1/servico_consultar_lote_rps_envio.xsd"_s),
            QString());
    }
}

// An answer that never came (the provider processed the lot, the connection fell) or an NFS-e not
// issued yet: nothing stored, nothing deleted; the next run asks for the NFS-e before sending, so
// the lot is never sent twice.
TEST_F(Nfse, ResultadoDesconhecidoResolvidoSemReenviar) {
    extras.insert(u"QEL_DFE_CONSULTAS_RETORNO"_s, u"2"_s);
    const struct {
        const char* cenario;
        QString municipio;
        QString natureza; // of the operation: Thema's layout numbers them from 50
        int rps;
        QString servico;
    } casos[] = {
        {"fechar-processado", u"4316808"_s, u"51"_s, 81, u"nfse_thema_recepcao"_s},
        {"nfse-em-processamento", u"4106902"_s, u"1"_s, 82, u"nfse_curitiba_recepcao"_s},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.cenario);
        QString documento = documentoNfse(u"rps_abrasf1.xml"_s, c.municipio, c.natureza);
        documento.replace(u"<Numero>77</Numero>"_s, u"<Numero>"_s + QString::number(c.rps) + u"</Numero>"_s)
            .replace(u"id=\"R77\""_s, u"id=\"R"_s + QString::number(c.rps) + u'"');
        const QString nome = u"NFSe"_s + QString::number(c.rps).rightJustified(10, u'0') + u".xml"_s;
        noLocal(nome, documento.toUtf8());
        simulador.cenario(c.cenario);
        const int enviados = pedidos(c.servico);
        const Execucao primeira = roda();
        EXPECT_EQ(primeira.codigo, 1);
        EXPECT_TRUE(primeira.saida.contains(u"O resultado do envio da NFS-e não é conhecido"_s))
            << primeira.saida.toStdString();
        EXPECT_TRUE(QFile::exists(local(nome)));
        EXPECT_TRUE(armazenada(c.rps).isEmpty());
        EXPECT_EQ(pendentes().size(), 1);

        simulador.cenario("normal");
        const Execucao segunda = roda();
        EXPECT_EQ(segunda.codigo, 0) << segunda.saida.toStdString();
        EXPECT_TRUE(segunda.saida.contains(u"Consultando NFS-e enviada antes"_s));
        EXPECT_FALSE(armazenada(c.rps).isEmpty());
        EXPECT_FALSE(QFile::exists(local(nome)));
        EXPECT_TRUE(pendentes().isEmpty());
        EXPECT_EQ(pedidos(c.servico), enviados + 1);
    }
}

// The cancellation of a stored NFS-e: the request its provider's schema asks (the NFS-e's number
// from the archive), stored with the confirmation and its receipt printed; a refusal is shown as
// such and stores nothing.
TEST_F(Nfse, CancelamentoAceitoERecusado) {
    PULA_SEM_REFERENCIA();
    ASSERT_EQ(entregaNfse(u"NFSe0000000042.xml"_s, u"declaracao_tecnos.xml"_s, u"4306809"_s).codigo, 0);
    ASSERT_EQ(entregaNfse(u"NFSe0000000077.xml"_s, u"rps_abrasf1.xml"_s, u"4311403"_s, u"51"_s).codigo, 0);
    const QString tecnos = armazenada(42);
    const QString thema = armazenada(77);
    ASSERT_FALSE(tecnos.isEmpty());
    ASSERT_FALSE(thema.isEmpty());
    const auto cancela = [&](const QString& arquivo) {
        return tarefa("TAREFA CANCELAR DOCUMENTO\r\nCNPJ 12345678000195\r\nCHAVE " +
                      chaveDe(arquivo).toUtf8() + "\r\nJUSTIFICATIVA Servico nao prestado & cobrado\r\n");
    };
    const QString canTecnos = tecnos.chopped(7) + u"can.xml"_s;

    simulador.cenario("rejeitar");
    const Execucao recusa = cancela(tecnos);
    EXPECT_EQ(recusa.codigo, 1);
    EXPECT_TRUE(recusa.saida.contains(u"A prefeitura recusou o cancelamento da NFS-e"_s))
        << recusa.saida.toStdString();
    EXPECT_TRUE(recusa.saida.contains(u"E505"_s));
    EXPECT_FALSE(QFile::exists(canTecnos));
    EXPECT_FALSE(recusa.saida.contains(u"Imprimindo"_s));

    simulador.cenario("normal");
    const struct {
        QString arquivo, servico, esquema, atributo;
    } casos[] = {
        {tecnos, u"nfse_tecnos_cancelamento"_s, u"tecnos/CancelarNfseEnvio.xsd"_s, u"Id"_s},
        {thema, u"nfse_thema_cancelamento"_s, u"thema/nfse.xsd"_s, u"id"_s},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.servico.toStdString());
        const Execucao r = cancela(c.arquivo);
        ASSERT_EQ(r.codigo, 0) << r.saida.toStdString();
        const QByteArray pedido = semDeclaracao(simulador.recebidos(c.servico).last());
        EXPECT_EQ(validaEsquema(pedido, esquemas() + u"nfse/"_s + c.esquema), QString());
        const QString proc = QString::fromUtf8(le(c.arquivo));
        const QString numero = proc.section(u"<NumeroNota>"_s, 1).remove(u"<Numero>"_s).left(15);
        EXPECT_TRUE(pedido.contains("<Numero>" + numero.toUtf8() + "</Numero>")) << pedido.toStdString();
        EXPECT_TRUE(pedido.contains("<CodigoCancelamento>1</CodigoCancelamento>"));
        const QByteArray guardado = le(c.arquivo.chopped(7) + u"can.xml"_s);
        ASSERT_FALSE(guardado.isEmpty());
        EXPECT_TRUE(guardado.contains(pedido));
        EXPECT_EQ(verificaComXmlsec(QString::fromUtf8(guardado), c.atributo, u"InfPedidoCancelamento"_s,
                                    u"Pedido"_s),
                  QString());
        EXPECT_TRUE(r.saida.contains(u"Imprimindo"_s));
    }
}

// A cancellation whose answer was lost, sent again: the provider refuses it as done already, and
// the NFS-e, asked for by its RPS, shows its cancellation; that is archived as the confirmation.
TEST_F(Nfse, CancelamentoRepetidoDepoisDeRespostaPerdida) {
    ASSERT_EQ(entregaNfse(u"NFSe0000000077.xml"_s, u"rps_abrasf1.xml"_s, u"4311403"_s, u"51"_s).codigo, 0);
    const QString thema = armazenada(77);
    ASSERT_FALSE(thema.isEmpty());
    const QString can = thema.chopped(7) + u"can.xml"_s;
    const QByteArray cancela = "TAREFA CANCELAR DOCUMENTO\r\nCNPJ 12345678000195\r\nCHAVE " +
                               chaveDe(thema).toUtf8() + "\r\nJUSTIFICATIVA Servico nao prestado\r\n";

    simulador.cenario("fechar-processado");
    const Execucao perdida = tarefa(cancela);
    EXPECT_EQ(perdida.codigo, 1);
    EXPECT_TRUE(perdida.saida.contains(u"O resultado do cancelamento da NFS-e não é conhecido"_s))
        << perdida.saida.toStdString();
    EXPECT_FALSE(QFile::exists(can));

    simulador.cenario("normal");
    const Execucao denovo = tarefa(cancela);
    ASSERT_EQ(denovo.codigo, 0) << denovo.saida.toStdString();
    EXPECT_TRUE(denovo.saida.contains(u"A NFS-e já está cancelada na prefeitura (E79)"_s));
    EXPECT_FALSE(denovo.saida.contains(u"continua válida"_s));
    EXPECT_EQ(pedidos(u"nfse_thema_cancelamento"_s), 2);
    const QByteArray guardado = le(can);
    EXPECT_TRUE(guardado.contains(semDeclaracao(simulador.recebidos(u"nfse_thema_cancelamento"_s).last())));
    EXPECT_TRUE(guardado.contains("NfseCancelamento>")) << guardado.toStdString();
    EXPECT_TRUE(denovo.saida.contains(u"Imprimindo"_s));
}

// What is refused before anything is sent: the cancellation of an NFS-e the archive does not hold,
// and an event an NFS-e does not have.
TEST_F(Nfse, RecusasAntesDoEnvio) {
    const struct {
        QByteArray tarefa;
        QString mensagem;
    } casos[] = {
        {"TAREFA CANCELAR DOCUMENTO\r\nCNPJ 12345678000195\r\nCHAVE "
         "43261212345678000195NS000000000099000000099X\r\n"
         "JUSTIFICATIVA Servico nao prestado ao cliente\r\n",
         u"não está no arquivo"_s},
        {"TAREFA CARTA DE CORRECAO\r\nCNPJ 12345678000195\r\nCHAVE "
         "43261212345678000195NS000000000099000000099X\r\n"
         "CCE TEXTO Texto qualquer da correcao\r\n",
         u"não se aplica a uma NFS-e"_s},
    };
    for (const auto& c : casos) {
        const Execucao r = tarefa(c.tarefa);
        EXPECT_EQ(r.codigo, 1);
        EXPECT_TRUE(r.saida.contains(c.mensagem)) << r.saida.toStdString();
    }
    EXPECT_FALSE(simulador.registro().contains(u"servico=nfse"_s));
}

// The municipalities without a web service of ours: Estrela's provider takes the signed document
// from its exchange folder; Florianópolis's calls are signed but not sent; Imigrante has none.
TEST_F(Nfse, MunicipiosSemServicoWeb) {
    const Execucao estrela = entregaNfse(u"NFSe0000000042.xml"_s, u"declaracao_tecnos.xml"_s, u"4307807"_s);
    EXPECT_EQ(estrela.codigo, 0) << estrela.saida.toStdString();
    EXPECT_TRUE(estrela.saida.contains(u"Arquivo Copiado"_s));
    const QString troca = raiz() + u"/Qel/NFSe-Estrela/temp/"_s;
    EXPECT_TRUE(QFile::exists(troca + u"NFSe0000000042.xml"_s));
    EXPECT_FALSE(QFile::exists(local(u"NFSe0000000042.xml"_s)));
    const QByteArray assinado = le(troca + u"XML_Assinado.xml"_s);
    EXPECT_EQ(verificaComXmlsec(QString::fromUtf8(assinado), u"Id"_s, u"InfDeclaracaoPrestacaoServico"_s,
                                u"tcDeclaracaoPrestacaoServico"_s),
              QString());
    // The same document again before the provider took the first: the caller's files stay.
    noLocal(u"NFSe0000000042.EML"_s, "Destinatario a@b.example\r\n");
    const Execucao denovo = entregaNfse(u"NFSe0000000042.xml"_s, u"declaracao_tecnos.xml"_s, u"4307807"_s);
    EXPECT_EQ(denovo.codigo, 1);
    EXPECT_TRUE(denovo.saida.contains(u"ainda não foi recolhido"_s)) << denovo.saida.toStdString();
    EXPECT_TRUE(QFile::exists(local(u"NFSe0000000042.xml"_s)));
    EXPECT_TRUE(QFile::exists(local(u"NFSe0000000042.EML"_s)));
    EXPECT_EQ(le(troca + u"XML_Assinado.xml"_s), assinado);
    QFile::remove(local(u"NFSe0000000042.xml"_s));
    QFile::remove(local(u"NFSe0000000042.EML"_s));

    const Execucao florianopolis = entregaNfse(u"NFSe0000000007.xml"_s, u"nfpse_florianopolis.xml"_s);
    EXPECT_EQ(florianopolis.codigo, 1);
    EXPECT_TRUE(florianopolis.saida.contains(u"preparada e assinada"_s)) << florianopolis.saida.toStdString();
    EXPECT_TRUE(QFile::exists(local(u"NFSe0000000007.xml"_s)));
    QFile::remove(local(u"NFSe0000000007.xml"_s));

    const Execucao imigrante = entregaNfse(u"NFSe0000000077.xml"_s, u"rps_abrasf1.xml"_s, u"4310363"_s);
    EXPECT_EQ(imigrante.codigo, 1);
    EXPECT_TRUE(imigrante.saida.contains(u"Nao foi possivel acessar o WebService"_s))
        << imigrante.saida.toStdString();
    EXPECT_TRUE(imigrante.saida.contains(u"não tem serviço de NFS-e"_s));
    EXPECT_TRUE(QFile::exists(local(u"NFSe0000000077.xml"_s)));

    EXPECT_FALSE(simulador.registro().contains(u"servico=nfse"_s));
    EXPECT_TRUE(pendentes().isEmpty());
}

} // namespace

namespace {

// A lot its provider's schema refuses never leaves: the reason is shown, the RPS stays for the
// caller, nothing is journalled. Thema numbers the nature of the operation from 50, Curitiba from
// 1 to 6; Curitiba's lot travels in its service description's namespace and is checked as if in
// its schema's.
TEST_F(Nfse, LoteForaDoEsquemaDoProvedorNaoSai) {
    PULA_SEM_REFERENCIA();
    const struct {
        const char* caso;
        QString municipio;
        QString natureza;
        QString servico;
        QString linha;
    } casos[] = {
        {"Thema", u"4316808"_s, u"1"_s, u"nfse_thema_recepcao"_s,
         u"Esquema: /EnviarLoteRpsEnvio/LoteRps/ListaRps/Rps/InfRps/NaturezaOperacao: "
         "o valor '1' não tem o formato exigido (50|51|"_s},
        {"Curitiba", u"4106902"_s, u"51"_s, u"nfse_curitiba_recepcao"_s,
         u"Esquema: /EnviarLoteRpsEnvio/LoteRps/ListaRps/Rps/InfRps/NaturezaOperacao: o valor '51' "_s},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.caso);
        const Execucao r =
            entregaNfse(u"NFSe0000000091.xml"_s, u"rps_abrasf1.xml"_s, c.municipio, c.natureza);
        EXPECT_EQ(r.codigo, 1) << r.saida.toStdString();
        EXPECT_TRUE(r.saida.contains(c.linha)) << r.saida.toStdString();
        EXPECT_EQ(pedidos(c.servico), 0);
        EXPECT_TRUE(QFile::exists(local(u"NFSe0000000091.xml"_s)));
        EXPECT_TRUE(pendentes().isEmpty());
        QFile::remove(local(u"NFSe0000000091.xml"_s));
    }
}

} // namespace
