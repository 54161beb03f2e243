//=============================================================================
// Info: an actor that holds information and is never seen.
//=============================================================================
class Info extends Actor
	abstract
	native;

defaultproperties
{
	bHidden=True
}
