// The reader of repeated elements the printouts use for vehicles, drivers and listed documents,
// on the lines the XML line reader makes of a document.

#include "print/impressao.h"
#include "util/leitor_xml.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace qel;

namespace {

QList<Ocorrencia> ocorrencias(const QString& xml, const QString& nome) {
    LeitorXml leitor;
    leitor.Carrega_XML(xml);
    return Ocorrencias(leitor.linhas(), nome);
}

TEST(Ocorrencias, CaminhosAtributosEEscapes) {
    // A vehicle's own state is not its owner's, though the owner's comes first.
    const QString rodo =
        u"<rodo><infANTT><RNTRC>111</RNTRC></infANTT><veicTracao><placa>AAA1A11</placa>"
        "<prop><RNTRC>222</RNTRC><UF>SC</UF></prop><condutor><xNome>A</xNome><CPF>1</CPF>"
        "</condutor><condutor><xNome>B</xNome><CPF>2</CPF></condutor><UF>RS</UF></veicTracao>"
        "<veicReboque><placa>BBB2B22</placa><UF>PR</UF></veicReboque></rodo>"_s;
    const QList<Ocorrencia> tracao = ocorrencias(rodo, u"veicTracao"_s);
    ASSERT_EQ(tracao.size(), 1);
    EXPECT_EQ(tracao[0].valor(u"UF"_s), u"RS"_s);
    EXPECT_EQ(tracao[0].valor(u"prop/uf"_s), u"SC"_s) << "paths compare without regard to case";
    EXPECT_EQ(tracao[0].valor(u"prop/RNTRC"_s), u"222"_s);
    EXPECT_EQ(tracao[0].valores(u"condutor/xNome"_s), (QStringList{u"A"_s, u"B"_s}));
    EXPECT_EQ(ocorrencias(rodo, u"veicReboque"_s).value(0).valor(u"prop/RNTRC"_s), QString());
    EXPECT_EQ(ocorrencias(rodo, u"condutor"_s).size(), 2);
    EXPECT_EQ(ocorrencias(rodo, u"rodo"_s).value(0).valor(u"infANTT/RNTRC"_s), u"111"_s);

    // An element inside one of its own name belongs to the outer one (the payer of a simplified
    // CT-e holds its code under the same name).
    const QList<Ocorrencia> toma = ocorrencias(
        u"<x><toma><toma>4</toma><xNome>A &amp; B</xNome></toma><toma><toma>0</toma></toma></x>"_s,
        u"toma"_s);
    ASSERT_EQ(toma.size(), 2);
    EXPECT_EQ(toma[0].valor(u"toma"_s), u"4"_s);
    EXPECT_EQ(toma[0].valor(u"xNome"_s), u"A & B"_s);
    EXPECT_EQ(toma[1].valor(u"toma"_s), u"0"_s);

    // Attributes, numeric escapes, empty elements keeping the lists aligned, CDATA.
    const QString obs = u"<compl><ObsCont xCampo=\"NOME&#233;\"><xTexto>a&lt;b</xTexto></ObsCont>"
                        "<ObsCont xCampo='X'><xTexto/></ObsCont></compl>"_s;
    const QList<Ocorrencia> campos = ocorrencias(obs, u"ObsCont"_s);
    ASSERT_EQ(campos.size(), 2);
    EXPECT_EQ(campos[0].atributo(u"xcampo"_s), u"NOMEé"_s);
    EXPECT_EQ(campos[0].valor(u"xTexto"_s), u"a<b"_s);
    EXPECT_EQ(campos[1].atributo(u"xCampo"_s), u"X"_s);
    EXPECT_EQ(ocorrencias(obs, u"compl"_s).value(0).valores(u"ObsCont/xTexto"_s),
              (QStringList{u"a<b"_s, u""_s}));
    EXPECT_EQ(ocorrencias(u"<s><qrCodCTe><![CDATA[https://x/?a=1&b=2]]></qrCodCTe></s>"_s, u"qrCodCTe"_s)
                  .value(0)
                  .valor(),
              u"https://x/?a=1&b=2"_s);
    EXPECT_EQ(ocorrencias(u"<s><chNFe>1</chNFe><chNFe>2</chNFe></s>"_s, u"chNFe"_s).value(1).valor(), u"2"_s);

    // A pretty-printed document reads the same.
    const QList<Ocorrencia> indentada =
        ocorrencias(u"<rodo>\n    <veicTracao>\n        <placa>CCC3C33</placa>\n        <UF>SP</UF>\n"
                    "    </veicTracao>\n</rodo>"_s,
                    u"veicTracao"_s);
    EXPECT_EQ(indentada.value(0).valor(u"placa"_s), u"CCC3C33"_s);
    EXPECT_EQ(indentada.value(0).valor(u"UF"_s), u"SP"_s);
}

} // namespace
