#pragma once

// What every printout shares: filling a memo, measured wrapping, thin frames, the layouts of
// dates, numbers and keys, the decision to print automatically and the PDF name.

#include "config/configuracao_empresa.h"
#include "relatorio/modelo.h"
#include "util/codigos.h"

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

} // namespace qel
