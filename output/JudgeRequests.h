#pragma once
// The gate judges' side of the live server, answered in the server's own thread:
//
//   GET  /judge          the judge page (from the program's resources; cacheable, so that a
//                        phone that lost the network can open it again)
//   POST /judge/login    {"pin":"123456"} ->
//                        200 {"token", "judge":{"id","name"}, "event",
//                             "gates":[{"gate":3,"buoys":[{"buoy":1,"name":"あ","score":2}]}]}
//                        401 {"error"} for a wrong PIN; 429 {"error","wait"} with Retry-After
//                        while the address waits after five wrong PINs
//   POST /judge/entries  {"token", "entries":[{"id":<32 hex>,"bib":12,"gate":3,"buoy":2} or
//                        {"id","bib","gate","dq":true,"reason":"…"}]}, at most 100 entries ->
//                        {"results":[{"id","seq"} | {"id","seq","refused":"…"} |
//                                    {"id","retry":true}]}
//
// The status of an entries answer: 200 when every entry was taken or refused; 403 when some
// entry was for a gate that is not the judge's; 503 when the log could not be written (those
// entries say "retry"). Whatever the status, the body answers every entry of the batch, and the
// entries taken in it stay taken: a phone drops each entry that has a sequence number (taken,
// or refused with its reason) and sends again only those marked "retry", so a refused entry
// never holds up the ones queued after it. 401 (a token that does not work: the judge was
// revoked, or another workbook was loaded) and 400 (bad JSON, a bad id, more than 100 entries)
// answer the batch as a whole and take nothing; 413 answers a body over 64 KB.

class QHttpServerRequest;
class QHttpServerResponder;
class QTcpSocket;

namespace zalvik {

namespace judges {
class JudgeBoard;
}

void AnswerJudge(const QHttpServerRequest& request, QTcpSocket* socket,
                 QHttpServerResponder& responder, judges::JudgeBoard* board);

}  // namespace zalvik
