// The receipts of events and inutilizações through the real program: "GERAR PDF" of the procs the
// event and inutilização flows store (and of a real correction letter), read back by their text,
// their pages and an independent barcode reader.

#include "pdf_impresso.h"

using namespace Qt::StringLiterals;

namespace {

class Recibos : public ::testing::Test, protected Programa {
protected:
    // "GERAR PDF" of a stored result; `pdf` empty: the task has no PDF line.
    Execucao geraPdf(const QString& arquivo, const QByteArray& pdf = {}) {
        noLocal(u"Qel_DFe.Qel"_s, "TAREFA GERAR PDF\r\nCNPJ 12345678000195\r\nARQUIVO " + arquivo.toUtf8() +
                                      "\r\n" + (pdf.isEmpty() ? QByteArray() : "PDF " + pdf + "\r\n"));
        return roda();
    }
    QString reciboPadrao() const { return raiz() + u"/Qel/Evento_DFe.PDF"_s; }
};

TEST_F(Recibos, TituloTextosProtocoloEChave) {
    // The company of the task, whose block heads every receipt.
    teste::escreve(raiz() + u"/DFe/INI/12345678000195.DFe"_s,
                   "NOME EMPRESA DOS RECIBOS LTDA\r\nENDERECO RUA DO TRANSPORTE, 500\r\nBAIRRO CENTRO\r\n"
                   "CIDADE PORTO ALEGRE\r\nFONE 5133334444\r\n");
    struct Caso {
        QString caso;
        QString arquivo;
        QString chave; // empty: no key and no barcode (inutilização)
        QStringList textos;
        QStringList ausentes;
    };
    QList<Caso> casos;
    const auto gerado = [&](const QString& nome, const QStringList& argumentos, QString* chave) {
        const impresso::Gerado d = impresso::gera(argumentos);
        if (chave) *chave = d.chave;
        const QString caminho = raiz() + u"/resultados/"_s + nome;
        teste::escreve(caminho, d.texto);
        return caminho;
    };
    QString chave;
    const QString protocoloRegistro = u"143260000077777 - 02/12/2026 - 11:22:33"_s;
    QString arquivo = gerado(u"nfe-canc.xml"_s, {u"evento"_s, u"nfe-cancelamento"_s}, &chave);
    casos.append({u"NF-e cancellation"_s,
                  arquivo,
                  chave,
                  {u"Confirmação de Cancelamento"_s, u"Justificativa"_s,
                   u"PEDIDO CANCELADO PELO CLIENTE ANTES DA SAIDA"_s, protocoloRegistro, u"000.000.321"_s,
                   u"12.345.678/0001-95"_s},
                  // The cancelled NF-e's own protocol is not the registration's.
                  {u"143260000099999"_s, u"Condicao de Uso"_s}});
    arquivo = gerado(u"nfe-cce.xml"_s, {u"evento"_s, u"nfe-cce"_s}, &chave);
    casos.append({u"NF-e correction letter"_s,
                  arquivo,
                  chave,
                  {u"Carta de Correção Eletronica - CCe"_s, u"Correcao"_s,
                   u"CORRIGE O ENDERECO DE ENTREGA PARA RUA DAS ACACIAS, 45"_s, u"Condicao de Uso"_s,
                   u"III - a data de emissao ou de saida."_s, protocoloRegistro},
                  {}});
    arquivo = gerado(u"cte-canc.xml"_s, {u"evento"_s, u"cte-cancelamento"_s}, &chave);
    casos.append({u"CT-e cancellation"_s,
                  arquivo,
                  chave,
                  {u"Confirmação de Cancelamento"_s, u"CONHECIMENTO EMITIDO EM DUPLICIDADE"_s,
                   protocoloRegistro, u"57"_s},
                  {u"143260000099999"_s}});
    arquivo = gerado(u"cte-cce.xml"_s, {u"evento"_s, u"cte-cce"_s}, &chave);
    casos.append({u"CT-e correction letter with two changed groups"_s,
                  arquivo,
                  chave,
                  {u"Carta de Correção Eletronica - CCe"_s, u"ide - natOp - PRESTACAO DE SERVICO CORRIGIDA"_s,
                   u"compl - xObs - ENTREGA SOMENTE PELA MANHA"_s, u"Art. 58-B do CONVENIO/SINIEF 06/89"_s},
                  {}});
    arquivo = gerado(u"mdfe-enc.xml"_s, {u"evento"_s, u"mdfe-encerramento"_s}, &chave);
    casos.append({u"MDF-e closing"_s,
                  arquivo,
                  chave,
                  {u"Confirmação de Encerramento"_s, u"Encerramento em 02/12/2026"_s, u"4205407 - SC"_s,
                   protocoloRegistro, u"58"_s},
                  {u"143260000099999"_s, u"Carta de Correção"_s}});
    arquivo = gerado(u"inut-nfe.xml"_s, {u"inutilizacao"_s, u"nfe"_s}, nullptr);
    casos.append({u"inutilização of NF-e numbers 10 to 15"_s,
                  arquivo,
                  QString(),
                  {u"Confirmação de Inutilização"_s, u"NUMERACAO PULADA POR FALHA DO SISTEMA EMISSOR"_s,
                   u"Numeração Inutilizada"_s,
                   u"Ano: 26\nModelo: 55\nSerie: 1\nNumeração Inicial: 10\n"
                   u"Numeração Final: 15"_s,
                   u"143260000055555 - 02/12/2026 - 11:22:40"_s, u"CNPJ 12.345.678/0001-95"_s},
                  {}});
    arquivo = gerado(u"inut-cte.xml"_s, {u"inutilizacao"_s, u"cte"_s}, nullptr);
    casos.append({u"inutilização of CT-e numbers"_s,
                  arquivo,
                  QString(),
                  {u"Confirmação de Inutilização"_s, u"Modelo: 57"_s, u"Numeração Inicial: 20"_s,
                   u"Numeração Final: 22"_s, u"143260000055555"_s},
                  {}});
    if (!teste::pastaReferencia().isEmpty())
        casos.append(
            {u"real NF-e correction letter"_s,
             teste::pastaReferencia() +
                 u"/samples/events/110110-53181011028793000173550010000066701204276800-1-procEventoNfe.xml"_s,
             u"53181011028793000173550010000066701204276800"_s,
             {u"Carta de Correção Eletronica - CCe"_s, u"Nota 6670 referente a servi"_s, u"000.006.670"_s,
              u"11.028.793/0001-73"_s, u"353180043800804 - 05/10/2018 - 17:34:36"_s},
             {}});

    for (const Caso& c : casos) {
        SCOPED_TRACE(c.caso.toStdString());
        QFile::remove(reciboPadrao());
        const Execucao r = geraPdf(c.arquivo);
        ASSERT_EQ(r.codigo, 0) << r.saida.toStdString() << r.erros.toStdString();
        // Without a PDF line the receipt takes its fixed name.
        ASSERT_TRUE(QFile::exists(reciboPadrao())) << r.saida.toStdString();
        EXPECT_EQ(impresso::paginas(reciboPadrao()), 1);
        const QString texto = impresso::texto(reciboPadrao());
        for (const QString& t :
             c.textos + QStringList{u"EMPRESA DOS RECIBOS LTDA"_s, u"RUA DO TRANSPORTE, 500"_s})
            EXPECT_TRUE(texto.contains(t)) << t.toStdString() << "\n" << texto.toStdString();
        for (const QString& t : c.ausentes)
            EXPECT_FALSE(texto.contains(t)) << t.toStdString();
        if (c.chave.isEmpty() || !impresso::temLeitorDeCodigos()) continue;
        EXPECT_TRUE(texto.contains(c.chave));
        for (const int dpi : {150, 300})
            EXPECT_EQ(impresso::codigosDaPagina(reciboPadrao(), 1, dpi),
                      QStringList{u"CODE-128:"_s + c.chave})
                << dpi << " dpi";
    }
}

TEST_F(Recibos, CorrecaoLongaCresceEContinua) {
    const impresso::Gerado d = impresso::gera({u"evento"_s, u"cte-cce"_s, u"99"_s});
    teste::escreve(raiz() + u"/cce99.xml"_s, d.texto);
    // A PDF line of the task names the file.
    const QString pdf = raiz() + u"/saida/cce.pdf"_s;
    ASSERT_EQ(geraPdf(raiz() + u"/cce99.xml"_s, pdf.toUtf8()).codigo, 0);
    EXPECT_FALSE(QFile::exists(reciboPadrao()));
    const int paginas = impresso::paginas(pdf);
    EXPECT_EQ(paginas, 2);
    const QString texto = impresso::texto(pdf);
    for (int i = 3; i <= 99; ++i)
        EXPECT_EQ(texto.count(u"LINHA DE CORRECAO NUMERO "_s + QString::number(i) + u'\n'), 1) << i;
    // The first page is filled before the text goes on; the condition of use follows it.
    const QString primeira = impresso::texto(pdf, 1);
    const QString segunda = impresso::texto(pdf, 2);
    EXPECT_TRUE(segunda.contains(u"Correcao (continuação)"_s));
    EXPECT_TRUE(segunda.contains(u"Condicao de Uso"_s));
    EXPECT_FALSE(primeira.contains(u"Condicao de Uso"_s));
    EXPECT_GT(primeira.count(u"LINHA DE CORRECAO"_s), 60);
}

} // namespace
