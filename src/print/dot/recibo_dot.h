#pragma once

// The receipt of a transport operation registered with the NDD Cargo service, the "DOT -
// Documento da Operação de Transporte": one A4 page with the contracting company, the carrier,
// the driver and vehicle, the originating documents, values and retained taxes, instalments,
// toll and additional data, headed by the CIOT number as text and as a Code 128 barcode.

#include "print/contexto_impressao.h"

namespace qel {

// Fills the receipt of a stored ciotProc (a path or the XML text) and hands it to the output
// stage: the preview of "IMPRIMIR"; otherwise one printed copy (or, with no copies set, the
// preview with the printer dialog), not for "GERAR PDF"; then, with a document base name, the PDF
// "C:\Qel\Evento_DFe-1.PDF" or the task's PDF name. A document without ciotProc (a toll voucher's
// tagProc) has no receipt: false, and the output says so.
bool imprimeReciboDot(const QString& documento, ContextoImpressao& ctx, const ConfiguracaoEmpresa& cfg,
                      SaidaImpressao& saida);

// The toll category as the receipt shows it: "( 7 ) 2 eixos" (categories above 5 are the same
// axle counts with a trailer); empty for a blank category.
QString categoriaPedagio(const QString& categoria);

// The toll tag the calling application writes into the additional data ("(Qel) TAG <authorisation>
// - <value>"), taken out of it.
struct TagPedagio {
    QString dados; // the additional data without the tag
    bool presente = false;
    QString autorizacao; // what follows the marker, up to the value
    QString valor;       // the toll value as written; empty when the tag has none
};
TagPedagio tagPedagio(const QString& dadosAdicionais);

} // namespace qel
