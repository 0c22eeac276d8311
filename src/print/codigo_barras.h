#pragma once

// Code 128 barcode of an access key or CIOT number, and the helper that puts the barcode and QR
// images on a page without blurring their modules.
//
// On a printout the barcode is a symbol, not a bitmap: `defineBarras(modelo.objeto("Barras"),
// chave)` gives a picture object of the template the barcode's modules, which the engine draws as
// vector bars with whole-dot modules and the quiet zone inside the object's frame. Make the
// picture object as large as the free space of its box: the module width follows from it.

#include "relatorio/modelo.h"

#include <QImage>
#include <QRectF>
#include <QString>

class QPainter;

namespace qel {

// The Code 128 barcode of `digitos`: one pixel per module, 70 pixels high, bars black and spaces
// white, no quiet zone and no human-readable line (the layouts print the key beside it).
//
// A digit string is set in code set C, one symbol per pair of digits, always at least 22 data
// symbols: a shorter string is filled with symbols of value 0 and a single remaining digit is a
// symbol of its own value, so a 44-digit key and a 12-digit CIOT number both give 277 × 70 pixels
// and fit the same frame. Digits beyond the 44th add symbols (and width) rather than being lost.
//
// A string with any other character (a key holding an alphanumeric CNPJ) cannot be set in code
// set C alone: its characters go in code set B and its longer runs of digits in set C (four or
// more at the start or the end, six or more between), switching between the two. A character
// outside code set B (printable ASCII and DEL) throws ErroInesperado.
QImage Barras(const QString& digitos);

// The same barcode as a symbol, with the quiet zone Code 128 needs (ISO/IEC 15417: ten modules
// each side) for a picture object to draw.
Simbolo simboloBarras(const QString& digitos);

// Puts the barcode of `digitos` in a picture object; an empty text clears it.
void defineBarras(Objeto& figura, const QString& digitos);

// Draws `imagem` stretched to `destino` with nearest-neighbour scaling, so every module stays a
// sharp black or white block at any size; the painter's render hints are left as they were.
void desenhaSemSuavizar(QPainter& painter, const QRectF& destino, const QImage& imagem);

} // namespace qel
