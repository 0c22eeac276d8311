#pragma once

// What every printout shares: filling a memo, measured wrapping, thin frames, the layouts of
// dates, numbers and keys, the decision to print automatically and the PDF name.

#include "config/configuracao_empresa.h"
#include "print/contexto_impressao.h"
#include "relatorio/modelo.h"
#include "relatorio/relatorio.h"
#include "util/codigos.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

namespace qel {

// How a template's memos take a "|"-separated value.
enum class VarianteMemo {
    Padrao,         // every piece a line
    SemVaziosMeio,  // DACTE and DAMDFE: blank middle pieces skipped
    DadosAdicionais // transport-operation receipt: after 16 lines the rest goes to the second memo
};

// Fills a memo: one line per "|"-separated piece; "Aviso" shows only when there is a value.
void Preenche_Memo(Modelo& modelo, const QString& nome, const QString& valor,
                   VarianteMemo variante = VarianteMemo::Padrao);

// Wraps a text to fit a box, measured with the hidden memo "Teste<N>" of the template (which has
// the box's font): cuts at the last blank or comma that makes a line fit; a word longer than the
// box stays whole.
QStringList Quebra_Texto(const Modelo& modelo, const QString& texto, double larguraPrimeira,
                         double larguraDemais, int numeroMemo);

// Every shape drawn with the thinnest line of the device.
void Afina_Molduras(Modelo& modelo);

// How many lines of its font a memo holds at its height (at least 1).
int linhasQueCabem(const Objeto& memo);

// Lowers the font of a memo, half a point at a time down to `menor`, until its wrapped text fits
// its height: a long free text keeps every word on its page.
void encaixaTexto(Objeto& memo, double menor = 5);

// Layouts of the printouts.
QString dataDoXml(const QString& valor);        // AAAA-MM-DDThh:mm:ss... → DD/MM/AAAA
QString horaDoXml(const QString& valor);        // → hh:mm:ss
QString numeroDocumento(const QString& numero); // NNN.NNN.NNN
QString chaveAgrupada(const QString& chave);    // 2.4.14.2.3.9.9-1
QString decimalDoXml(const QString& valor);     // "1234.5" → "1234,5"

// Whether the document of the task is printed automatically.
bool Deve_Imprimir(const QString& tarefa, TipoDocumento tipo, const ConfiguracaoEmpresa& cfg,
                   const QString& nomeBase);

// The file of one PDF export: the task's PDF name, or prefix + "-" + suffix + ".PDF".
QString arquivoPdf(const QString& nomePdfTarefa, const QString& prefixo, const QString& sufixo);

// The printer a printer setting names; empty (the system's default) for a blank setting or
// "Impressora Padrao do Windows".
QString impressoraDaConfiguracao(const QString& configuracao);

// How a prepared report leaves: the settings that name its printer and copies, and its PDF.
struct DestinoRelatorio {
    QString impressora; // the printer setting
    QString copias;     // the copies setting; empty for a report without one (never printed directly)
    QString sufixoPdf;
    InformacaoPdf informacao; // the creation date comes from the print context
};

// The output stage of a report whose pages are filled: the preview of "IMPRIMIR"; the copies (or,
// with none, the preview with the printer dialog) of an automatic print; then the PDF, unless the
// settings ask for no e-mail or the task has no document base name. Every page goes to the same
// preview, job and file. A printer that cannot take the copies throws ErroInesperado.
void Saida_Relatorio(const Relatorio& relatorio, const DestinoRelatorio& destino, ContextoImpressao& ctx,
                     const ConfiguracaoEmpresa& cfg, SaidaImpressao& saida);

// A value of a document as a person reads it: the XML escapes undone ("&amp;" is "&").
QString textoDoXml(const QString& valor);

// One occurrence of a repeated element of a document (a vehicle, a driver, a listed document):
// the texts of the elements inside it by their path below it ("placa", "prop/RNTRC"; "" for the
// element's own text), and its attributes. Names compare without regard to letter case; values
// have their escapes undone.
class Ocorrencia {
public:
    // The first text of the path; every text of the path, in document order.
    QString valor(const QString& caminho = QString()) const {
        return valores_.value(caminho.toUpper()).value(0);
    }
    QStringList valores(const QString& caminho) const { return valores_.value(caminho.toUpper()); }
    QString atributo(const QString& nome) const { return atributos_.value(nome.toUpper()); }

private:
    friend QList<Ocorrencia> Ocorrencias(const QStringList& linhas, const QString& nome);
    QHash<QString, QStringList> valores_;
    QHash<QString, QString> atributos_;
};

// Every occurrence of the element `nome` in document order, from the lines of the XML line reader
// (the whole document or a selected group). An element of the same name inside an occurrence
// belongs to it.
QList<Ocorrencia> Ocorrencias(const QStringList& linhas, const QString& nome);

} // namespace qel
